"""A path that is not there is named as given and as the absolute path that
was looked for: relative paths are taken from the current folder."""
import json
import os

import pytest

from conftest import run_program

MISSING = {
    "picbook": ({"config": {"image_folder": "gone", "output_file": "r.pdf"}, "main_page": {"title_of_report": "T"},
                 "groups": [{"name": "A", "pattern": "a", "experiments_per_page": 1, "cols_per_row": 1}]},
                "Image folder not found: gone"),
    "sheet-tile": ({"config": {"input_folder": "gone", "output_file": "r.pdf"}}, "Input folder not found: gone"),
    "flowpage": ({"config": {"input_folder": "gone", "output_folder": "site"}}, "Input folder not found: gone"),
    "order-match": ({"config": {"system_data_path": "gone.csv", "customer_data_path": "c.xlsx"}},
                    "System data file not found at: gone.csv"),
    "receipt-sort": ({"config": {"path": "gone"}, "excel_in": {"name_cell": "D6", "amount_cell": "P56"}},
                     "Folder not found: gone"),
}


@pytest.mark.parametrize("tool", MISSING)
def test_a_missing_input_names_the_absolute_path_looked_for(tmp_path, tool):
    config, message = MISSING[tool]
    (tmp_path / "c.json").write_text(json.dumps(config))
    fake_bin = tmp_path / "bin"
    fake_bin.mkdir()
    (fake_bin / "mmdc").write_text("#!/bin/sh\nexit 0\n")
    (fake_bin / "mmdc").chmod(0o755)
    result = run_program([tool, "-c", "c.json"], cwd=tmp_path,
                         env_extra={"PATH": f"{fake_bin}{os.pathsep}{os.environ['PATH']}"})
    expected = f"{message} (looked for {tmp_path / message.rsplit(' ', 1)[1]}, relative to the current folder)"
    assert expected in result.stdout + result.stderr, result.stdout + result.stderr


def test_a_missing_configuration_file_names_the_absolute_path(tmp_path):
    result = run_program(["sheet-tile", "-c", "sub/c.json"], cwd=tmp_path)
    assert result.returncode == 2
    assert f"looked for {tmp_path / 'sub' / 'c.json'}, relative to the current folder" in result.stderr
    absolute = run_program(["sheet-tile", "-c", str(tmp_path / "c.json")], cwd=tmp_path)
    assert absolute.returncode == 2 and "looked for" not in absolute.stderr
