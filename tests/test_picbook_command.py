"""The picbook command: options, template, messages and exit statuses."""
import json

import pytest

from conftest import make_image, run_program, run_python, write_config
from velkit import picbook

TEMPLATE = "config_picbook_template.json"


def test_help_shows_introduction_and_indented_template(runner):
    result = runner.invoke(picbook.cmd_picbook, ["--help"])
    assert result.exit_code == 0
    out = result.output
    assert "Generate a PDF report from multiple images based on a JSON configuration." in out
    assert "[Default config.json Template]:" in out
    # The template keeps its own indentation instead of being re-wrapped.
    assert '\n      "config": {\n          "image_folder": "./data_picbook",' in out
    assert out.index('"config"') < out.index('"main_page"') < out.index('"groups"')
    assert out.index('"experiments_per_page"') < out.index('"cols_per_row"')
    assert "Specify the JSON config file path" in out
    assert "Generate a config_picbook_template.json in the current directory" in " ".join(out.split())


def test_help_text_ends_with_the_template():
    assert picbook.HELP_TEXT.endswith(json.dumps(picbook.DEFAULT_CONFIG, indent=4, ensure_ascii=False) + "\n")


@pytest.mark.parametrize(
    "data",
    [
        {"config": {"a": 1}, "main_page": {"t": "x"}, "groups": []},
        {"config": {"a": 1}, "main_page": {}, "groups": [{"name": "g"}]},
        {"main_page": {"t": "x"}, "groups": [{"name": "g"}]},
        {"config": 0, "main_page": {"t": "x"}, "groups": [{"name": "g"}]},
    ],
    ids=["empty-groups", "empty-main-page", "no-config", "config-zero"],
)
def test_invalid_format_is_refused(runner, tmp_path, capsys, data):
    path = tmp_path / "c.json"
    path.write_text(json.dumps(data))
    result = runner.invoke(picbook.cmd_picbook, ["-c", str(path)])
    assert result.exit_code == 1
    assert "Invalid configuration format. Missing 'config', 'main_page', or 'groups'." in result.stderr


@pytest.mark.parametrize(
    "config, group, named",
    [
        ({}, {"cols_per_row": 0}, "'groups[0].cols_per_row'"),
        ({}, {"cols_per_row": -2}, "'groups[0].cols_per_row'"),
        ({}, {"experiments_per_page": "2"}, "'groups[0].experiments_per_page'"),
        ({}, {"experiments_per_page": 1.5}, "'groups[0].experiments_per_page'"),
        ({"page_height": "297"}, {}, "'config.page_height'"),
        ({"top_margin": None}, {}, "'config.top_margin'"),
        ({}, {"pattern": 5}, "'groups[0].pattern'"),
    ],
    ids=["cols-zero", "cols-negative", "experiments-text", "experiments-fraction", "height-text",
         "margin-null", "pattern-number"],
)
def test_values_the_layout_cannot_use_are_refused(runner, tmp_path, config, group, named):
    make_image(tmp_path / "scan1.png", (40, 30))
    path = write_config(tmp_path / "c.json", {"image_folder": str(tmp_path), **config},
                        groups=[{"name": "Scans", "pattern": "scan", **group}])
    result = runner.invoke(picbook.cmd_picbook, ["-c", str(path)])
    assert result.exit_code == 1
    assert f"Error: Invalid configuration in {path}: {named}" in result.stderr
    assert not (tmp_path / "report.pdf").exists()


def test_unparsable_file_names_the_file(tmp_path):
    path = tmp_path / "broken.json"
    path.write_text('{"config": ')
    result = run_program(["picbook", "-c", str(path)], tmp_path)
    assert result.returncode == 1
    assert "broken.json" in result.stderr and "is not valid JSON" in result.stderr
    assert "Traceback" not in result.stderr


def test_missing_image_folder_aborts_with_status_one(runner, tmp_path):
    path = write_config(tmp_path / "c.json", {"image_folder": str(tmp_path / "none")},
                        groups=[{"name": "g", "pattern": "x"}])
    result = runner.invoke(picbook.cmd_picbook, ["-c", str(path)])
    assert result.exit_code == 1
    assert f"Error: Image folder not found: {tmp_path / 'none'}" in result.stderr
    assert "No data found matching patterns. Aborting." in result.stderr
    assert list(tmp_path.iterdir()) == [path]


@pytest.mark.parametrize("blocked", ["fpdf", "PIL"])
def test_missing_pdf_packages_refuse_even_the_template(tmp_path, blocked):
    code = (
        "import sys\n"
        f"sys.modules[{blocked!r}] = None\n"
        "from velkit import picbook\n"
        "assert picbook.HAS_PDF_LIBS is False and picbook.FPDF is object\n"
        "sys.argv = ['picbook', '--generate-config']\n"
        "picbook.cmd_picbook()\n"
    )
    result = run_python(code, tmp_path)
    assert result.returncode == 1
    assert [
        line.split(": ", 1)[1] for line in result.stderr.splitlines() if line.startswith("ERROR PicBook")
    ] == [
        "Missing required packages for PDF generation (fpdf2, Pillow). Install them with: pip install 'velkit[pdf]'",
    ]
    assert not (tmp_path / TEMPLATE).exists()

