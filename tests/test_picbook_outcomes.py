"""picbook through the vel-kit program: exit statuses, the closing summary,
refused configurations and file names that are not UTF-8."""
import json
import os

import pytest

from conftest import make_image, run_program, write_config
from picbook_helpers import page_texts

GROUP = [{"name": "Scans", "pattern": "scan", "experiments_per_page": 1, "cols_per_row": 2}]


def truncated_png(path):
    make_image(path, (400, 300))
    data = path.read_bytes()
    path.write_bytes(data[: len(data) // 2])


def clean(folder):
    make_image(folder / "scan1.png", (40, 30))
    make_image(folder / "scan2.png", (40, 30))
    return {}


def partial(folder):
    make_image(folder / "scan1.png", (40, 30))
    truncated_png(folder / "scan2.png")
    return {}


def all_failed(folder):
    truncated_png(folder / "scan1.png")
    make_image(folder / "other.png", (40, 30))  # in no group: not tried
    return {}


def nothing_matches(folder):
    make_image(folder / "other.png", (40, 30))
    return {}


def missing_folder(folder):
    return {"image_folder": str(folder / "none")}


def unwritable(folder):
    make_image(folder / "scan1.png", (40, 30))
    return {"output_file": "no_such_folder/report.pdf"}


def replaces_an_image(folder):
    make_image(folder / "scan1.png", (40, 30))
    return {"output_file": "scan1.png"}


def replaces_a_document(folder):
    make_image(folder / "scan1.png", (40, 30))
    (folder / "notes.pdf").write_text("my notes")
    return {"output_file": "notes.pdf"}


@pytest.mark.parametrize(
    "setup, status, line",
    [
        (clean, 0, "INFO PicBook: Placed 2 images in 1 group on 2 pages"),
        (partial, 0, "WARNING PicBook: Placed 1 image in 1 group on 2 pages; 1 failed: scan2.png"),
        (all_failed, 1, "WARNING PicBook: Placed 0 images in 1 group on 2 pages; skipped 1 (in no group); 1 failed: "
                       "scan1.png"),
        (nothing_matches, 0, "INFO PicBook: Placed 0 images in 0 groups on 1 page; skipped 1 (in no group)"),
        (missing_folder, 1, "ERROR PicBook: Error: Image folder not found: "),
        (unwritable, 1, "ERROR PicBook: Error: Cannot write the report "),
        (replaces_an_image, 1, "would replace the image scan1.png; choose another name."),
        (replaces_a_document, 1, "notes.pdf exists and was not written by picbook; it is left as it is."),
    ],
    ids=["clean", "partial", "all-failed", "empty", "missing-input", "unwritable", "replaces-image",
         "replaces-document"],
)
def test_exit_status_and_summary(tmp_path, setup, status, line):
    folder = tmp_path / "images"
    folder.mkdir()
    conf = {"image_folder": str(folder), **setup(folder)}
    before = {p.name: p.read_bytes() for p in folder.iterdir()}
    config = write_config(tmp_path / "c.json", conf, groups=GROUP)
    result = run_program(["picbook", "-c", str(config)], tmp_path)
    assert result.returncode == status, result.stderr
    assert line in result.stderr
    assert "Traceback" not in result.stderr
    assert all(line.split(" ", 1)[0] in ("INFO", "WARNING", "ERROR") for line in result.stderr.splitlines())
    if status == 1 and setup is not all_failed:
        # Nothing written, nothing replaced.
        assert {p.name: p.read_bytes() for p in folder.iterdir()} == before


@pytest.mark.parametrize(
    "content, message",
    [
        ('{"config": null, "main_page": {"t": 1}, "groups": [{"name": "g"}]}', "Invalid configuration format"),
        ('{"config": [], "main_page": {"t": 1}, "groups": [{"name": "g"}]}', "Invalid configuration format"),
        ('{"config": [1], "main_page": {"t": 1}, "groups": [{"name": "g"}]}', "'config' must be an object"),
        ("{}", "Invalid configuration format"),
        ("[]", "must hold a JSON object"),
        ("", "c.json"),
        (b"\xff\xfe{}", "c.json"),
        ('{"config": {"a": 1}, "main_page": {"t": 1}, "groups": [{"name": "g", "cols_per_row": 1e20}]}',
         "'groups[0].cols_per_row' must be a whole number"),
        ('{"config": {"page_height": 50}, "main_page": {"t": 1}, "groups": [{"name": "g"}]}',
         "'config.page_height' must be at least top_margin + bottom_margin + 80"),
        ('{"config": {"page_height": 400}, "main_page": {"t": 1}, "groups": [{"name": "g"}]}',
         "'config.page_height' must be a number from 1 to 297 (got 400)"),
        ('{"config": {"font_file": ""}, "main_page": {"t": 1}, "groups": [{"name": "g"}]}',
         "'config.font_file' must be a non-empty text"),
    ],
    ids=["config-null", "config-empty-array", "config-array", "empty-object", "array", "empty-file", "not-utf8",
         "cols-huge", "page-too-short", "page-beyond-a4", "font-file-empty"],
)
def test_unusable_configuration_is_refused(tmp_path, content, message):
    path = tmp_path / "c.json"
    if isinstance(content, bytes):
        path.write_bytes(content)
    else:
        path.write_text(content, encoding="utf-8")
    result = run_program(["picbook", "-c", str(path)], tmp_path)
    assert result.returncode == 1
    assert message in result.stderr
    assert "Traceback" not in result.stderr


def test_file_name_that_is_not_utf8(tmp_path):
    folder = tmp_path / "images"
    make_image(folder / "scan_good.png", (40, 30))
    make_image(os.fsdecode(os.fsencode(str(folder)) + b"/scan_bad\xffname.png"), (40, 30))
    config = write_config(tmp_path / "c.json", {"image_folder": str(folder)}, groups=GROUP)
    result = run_program(["picbook", "-c", str(config)], tmp_path)
    assert result.returncode == 0, result.stderr
    assert "Traceback" not in result.stderr
    assert "Placed 2 images in 1 group" in result.stderr
    text = page_texts(folder / "report.pdf")[1]
    assert "Figure 1: scan_bad\\xffname" in text and "Figure 2: scan_good" in text


def test_font_file_that_is_not_a_font_is_refused(tmp_path):
    make_image(tmp_path / "scan1.png", (40, 30))
    (tmp_path / "font.ttf").write_text("not a font")
    config = write_config(tmp_path / "c.json", {"image_folder": str(tmp_path), "font_file": str(tmp_path / "font.ttf")},
                          groups=GROUP)
    result = run_program(["picbook", "-c", str(config)], tmp_path)
    assert result.returncode == 1
    assert "Error: Cannot use the font file" in result.stderr and "Traceback" not in result.stderr
    assert not (tmp_path / "report.pdf").exists()


def test_library_warnings_go_through_the_log_with_the_file_name(tmp_path):
    from PIL import Image

    Image.new("L", (12000, 8000)).save(tmp_path / "scan_big.png")  # above Pillow's warning limit
    config = write_config(tmp_path / "c.json", {"image_folder": str(tmp_path)}, groups=GROUP)
    result = run_program(["picbook", "-c", str(config)], tmp_path)
    assert result.returncode == 0
    warnings = [line for line in result.stderr.splitlines() if "DecompressionBomb" in line or "exceeds limit" in line]
    assert warnings and all(line.startswith("WARNING PicBook: scan_big.png: ") for line in warnings)
    assert all(line.split(" ", 1)[0] in ("INFO", "WARNING") for line in result.stderr.splitlines())
