"""Every tool, through the vel-kit program: a configuration that cannot be
used never ends with status 0 or without a word."""
import pytest

from conftest import run_program

TOOLS = ["picbook", "sheet-tile", "flowpage", "order-match", "receipt-sort"]

UNUSABLE = {
    "config-null": b'{"config": null}',
    "config-array": b'{"config": []}',
    "empty-object": b"{}",
    "top-level-array": b"[]",
    "empty-file": b"",
    "not-utf8": b'{"config": "\xff"}',
}


@pytest.mark.parametrize("content", UNUSABLE.values(), ids=UNUSABLE.keys())
@pytest.mark.parametrize("tool", TOOLS)
def test_unusable_configuration_ends_with_status_one_and_a_message(tmp_path, tool, content):
    (tmp_path / "c.json").write_bytes(content)
    result = run_program([tool, "-c", "c.json"], cwd=tmp_path)
    assert result.returncode == 1, result.stderr
    assert result.stderr.strip() or result.stdout.strip()
    assert "Traceback" not in result.stderr


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
