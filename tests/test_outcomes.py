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
