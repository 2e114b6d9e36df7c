"""The sheet-tile command: options, template, configuration checks, messages
and exit statuses, through click and as the programs a user starts."""
import json

import pytest

from conftest import run_program, run_python
from sheet_tile_helpers import make_pdf, outline, single_pages
from velkit import sheet_tile

TEMPLATE = "config_sheet_tile_template.json"


def write_conf(path, conf):
    path.write_text(json.dumps({"config": conf}), encoding="utf-8")
    return path


def test_module_names_and_texts():
    for name in ["os", "sys", "click", "PdfReader", "PdfWriter", "PageObject", "Transformation", "PaperSize",
                 "NameObject", "DictionaryObject", "StreamObject", "fileMg", "app_logging", "log"]:
        assert hasattr(sheet_tile, name), name
    assert sheet_tile.HAS_PDF_LIBS is True
    assert sheet_tile.SheetTiler.__doc__ == "處理 PDF 合併與排版的應用類別"
    assert sheet_tile.SheetTiler._get_layout_params.__doc__ == "計算縮放與位移參數"
    assert sheet_tile.SheetTiler._create_red_frame_page.__doc__ == "Debug用紅框"
    assert list(sheet_tile.DEFAULT_CONFIG["config"]) == [
        "input_folder", "output_file", "layout", "page_size", "margin", "debug_grid"]
    assert sheet_tile.DEFAULT_CONFIG["config"]["layout"] == {"cols": 2, "rows": 2, "landscape": False}


@pytest.mark.parametrize("text", ["{broken", '{"other": 1}'], ids=["invalid-json", "no-config-key"])
def test_refused_file_ends_with_status_one(runner, tmp_path, text):
    path = tmp_path / "c.json"
    path.write_text(text)
    result = runner.invoke(sheet_tile.cmd_sheet_tile, ["-c", str(path)])
    assert result.exit_code == 1
    assert result.stdout == "" and "[INIT]" not in result.stderr and str(path) in result.stderr


@pytest.mark.parametrize("conf, named", [
    ({"layout": {"cols": 0}}, "'config.layout.cols' must be a whole number of at least 1 (got 0)"),
    ({"layout": {"cols": "2"}}, "'config.layout.cols' must be a whole number of at least 1 (got '2')"),
    ({"layout": {"rows": 1.5}}, "'config.layout.rows'"),
    ({"layout": [2, 2]}, "'config.layout' must be an object"),
    ({"margin": 297.5}, "'config.margin' leaves no printable area on a page of 595.0 x 842.0 points (got 297.5)"),
    ({"margin": 300, "layout": {"landscape": True}}, "'config.margin' leaves no printable area on a page of 842.0"),
    ({"margin": -5}, "'config.margin' must be a number of at least 0 (got -5)"),
    ({"output_file": 7}, "'config.output_file' must be a non-empty text (got 7)"),
    (None, "'config' must be an object"),
], ids=lambda v: None if isinstance(v, str) else json.dumps(v))
def test_values_the_merge_cannot_use_are_refused_before_the_worker(runner, tmp_path, conf, named):
    path = write_conf(tmp_path / "c.json", conf)
    result = runner.invoke(sheet_tile.cmd_sheet_tile, ["-c", str(path)])
    assert result.exit_code == 1
    assert f"ERROR SheetTile: Error: Invalid configuration in {path}: {named}" in result.stderr
    assert "[INIT]" not in result.stderr


def test_merges_without_pypdf(tmp_path):
    """The PDF work is built in: without pypdf the template is written and
    a folder merged; only the module's pypdf names are missing."""
    single_pages(tmp_path / "data_sheet_tile", ["a.pdf", "b.pdf"])
    code = ("import sys\n"
            "sys.modules['pypdf'] = None\n"
            "from velkit import sheet_tile\n"
            "assert sheet_tile.HAS_PDF_LIBS is False and not hasattr(sheet_tile, 'PdfReader')\n"
            "sys.argv = ['sheet-tile', '--generate-config']\n"
            "try:\n"
            "    sheet_tile.main()\n"
            "except SystemExit:\n"
            "    pass\n"
            f"sys.argv = ['sheet-tile', '-c', '{TEMPLATE}']\n"
            "sheet_tile.main()\n")
    result = run_python(code, tmp_path)
    assert result.returncode == 0, result.stderr
    assert "ERROR" not in result.stderr
    assert outline(tmp_path / "data_sheet_tile" / "merged_report.pdf") == [("a.pdf", 0), ("b.pdf", 0)]


@pytest.mark.parametrize("program", ["sheet-tile", "vel-kit"])
def test_template_defaults_run_twice_without_merging_the_report(tmp_path, program):
    prefix = [] if program == "sheet-tile" else ["sheet-tile"]
    assert run_program([*prefix, "--generate-config"], tmp_path, program=program).returncode == 0
    single_pages(tmp_path / "data_sheet_tile", ["b.pdf", "a.pdf", "c.pdf"])
    for _ in range(2):
        result = run_program([*prefix, "-c", TEMPLATE], tmp_path, program=program)
        assert result.returncode == 0, result.stderr
        assert result.stdout == "Success: ./data_sheet_tile/merged_report.pdf\n"
        assert "INFO SheetTile: [STEP 1] Processing 3 files..." in result.stderr
    assert outline(tmp_path / "data_sheet_tile" / "merged_report.pdf") == [("a.pdf", 0), ("b.pdf", 0), ("c.pdf", 0)]


def test_debug_line_per_placed_page(tmp_path):
    make_pdf(tmp_path / "in" / "a.pdf", [(595, 842, None)])
    config = write_conf(tmp_path / "c.json", {"input_folder": "in", "output_file": "out.pdf",
                                              "layout": {"cols": 2, "rows": 2}})
    result = run_program(["-c", str(config)], tmp_path, {"VELKIT_DEBUG": "1"}, program="sheet-tile")
    assert "DEBUG SheetTile:     Pg0: a.pdf | Sc=0.44 | Loc=(26.9,435.0)\n" in result.stderr


def test_output_folder_that_cannot_be_made_ends_with_one_error_line(tmp_path):
    single_pages(tmp_path / "in", ["a.pdf"])
    (tmp_path / "blocker").write_text("a file, not a folder")
    config = write_conf(tmp_path / "c.json", {"input_folder": "in", "output_file": "blocker/sub/out.pdf"})
    result = run_program(["-c", str(config)], tmp_path, program="sheet-tile")
    assert result.returncode == 1
    assert "Error: " in result.stderr.splitlines()[-1] and "blocker" in result.stderr.splitlines()[-1]
    assert "Traceback" not in result.stderr and result.stdout == ""


def test_library_messages_come_through_the_logger_once_with_their_file(tmp_path):
    folder = tmp_path / "in"
    folder.mkdir()
    (folder / "bad.pdf").write_bytes(b"%PDF-1.4\ngarbage without an end")
    (folder / "c.json").write_text('{"config": {"input_folder": "in", "output_file": "out/r.pdf"}}')
    result = run_program(["sheet-tile", "-c", "in/c.json"], cwd=tmp_path)
    assert result.returncode == 1
    lines = result.stderr.splitlines()
    assert lines and all(line.split(" ", 1)[0] in ("INFO", "WARNING", "ERROR") for line in lines), lines
    from_library = [line for line in lines if line.startswith("WARNING SheetTile: bad.pdf: ")]
    assert from_library and len(from_library) == len(set(from_library))
