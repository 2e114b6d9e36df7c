"""What every tool shows while it runs: --version, --quiet, --verbose, and
the progress line on standard error (in place on a terminal, a line now and
then in a log)."""
import fcntl
import json
import os
import pty
import select
import struct
import subprocess
import termios
from importlib.metadata import version
from pathlib import Path

import pytest

from conftest import BIN, make_image, make_workbook, run_program
from sheet_tile_helpers import single_pages

TOOLS = ["picbook", "sheet-tile", "flowpage", "order-match", "receipt-sort"]


@pytest.mark.parametrize(
    "args",
    [["vel-kit"], ["velkit"], ["sheet-tile"], ["flowpage"], *(["vel-kit", tool] for tool in TOOLS)],
    ids=lambda args: " ".join(args),
)
def test_every_program_and_command_prints_the_package_version(tmp_path, args):
    result = run_program([*args[1:], "--version"], cwd=tmp_path, program=args[0])
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip().endswith("version " + version("velkit")), result.stdout
    assert result.stderr == ""


def sheet_tile_setup(folder, count=2):
    single_pages(folder / "in", [f"p{n:02d}.pdf" for n in range(count)])
    (folder / "c.json").write_text(json.dumps({"config": {"input_folder": "in", "output_file": "out/r.pdf"}}))
    return ["sheet-tile", "-c", "c.json"]


def picbook_setup(folder):
    for n in (1, 2):
        make_image(folder / "img" / f"R_a_{n}.png", (40, 30))
    config = {"image_folder": "img", "file_prefix": "R", "output_file": "report.pdf"}
    groups = [{"name": "A", "pattern": "a", "experiments_per_page": 1, "cols_per_row": 2}]
    (folder / "c.json").write_text(json.dumps({"config": config, "main_page": {"title_of_report": "T"},
                                               "groups": groups}))
    return ["picbook", "-c", "c.json"]


def receipt_sort_setup(folder):
    for name, person in (("a.xlsx", "Ann"), ("b.xlsx", "Bo")):
        make_workbook(folder / "claims" / name, {"D6": person, "P56": 12})
    (folder / "c.json").write_text(json.dumps({"config": {"path": "claims", "dry_run": False},
                                               "excel_in": {"name_cell": "D6", "amount_cell": "P56"}}))
    return ["receipt-sort", "-c", "c.json"]


CLEAN_RUNS = {
    "picbook": (picbook_setup, "INFO PicBook: Placed 2 images in 1 group on "),
    "sheet-tile": (sheet_tile_setup, "INFO SheetTile: Merged 2 of 2 PDF files into 1 sheets"),
    "receipt-sort": (receipt_sort_setup, "INFO ReceiptSort: Moved 2 workbooks"),
}


@pytest.mark.parametrize("tool", CLEAN_RUNS)
def test_quiet_leaves_only_the_summary_and_verbose_adds_debug_lines(tmp_path, tool):
    setup, summary = CLEAN_RUNS[tool]
    args = setup(tmp_path / "quiet")
    quiet = run_program([*args, "--quiet"], cwd=tmp_path / "quiet")
    assert quiet.returncode == 0, quiet.stderr
    lines = quiet.stderr.splitlines()
    assert len(lines) == 1 and lines[0].startswith(summary), lines

    args = setup(tmp_path / "normal")
    normal = run_program(args, cwd=tmp_path / "normal")
    assert normal.returncode == 0 and len(normal.stderr.splitlines()) > 1
    assert "DEBUG " not in normal.stderr

    args = setup(tmp_path / "verbose")
    verbose = run_program([*args, "-v"], cwd=tmp_path / "verbose")
    assert verbose.returncode == 0, verbose.stderr
    if tool == "sheet-tile":  # the tool with debug lines on a clean run
        assert "DEBUG SheetTile: " in verbose.stderr


def test_quiet_keeps_warnings_and_errors(tmp_path):
    args = sheet_tile_setup(tmp_path)
    (tmp_path / "in" / "bad.pdf").write_bytes(b"not a pdf")
    result = run_program([*args, "-q"], cwd=tmp_path)
    lines = result.stderr.splitlines()
    assert lines[0].startswith("ERROR SheetTile: Failed bad.pdf: "), lines
    assert lines[-1].startswith("WARNING SheetTile: Merged 2 of 3 PDF files"), lines


def test_quiet_and_verbose_together_are_refused(tmp_path):
    result = run_program([*sheet_tile_setup(tmp_path), "-q", "-v"], cwd=tmp_path)
    assert result.returncode == 2
    assert "--quiet and --verbose cannot be used together" in result.stderr
    assert not (tmp_path / "out").exists()


def run_on_terminal(args, cwd):
    """Runs an installed program with standard error on a pseudo-terminal
    and standard output on a pipe; returns (status, stdout, terminal text)."""
    controller, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 200, 0, 0))
    env = dict(os.environ)
    env.pop("VELKIT_DEBUG", None)
    env.pop("COLUMNS", None)
    process = subprocess.Popen([str(BIN / args[0]), *args[1:]], cwd=cwd, env=env, stdout=subprocess.PIPE,
                               stderr=terminal, stdin=subprocess.DEVNULL)
    os.close(terminal)
    seen = b""
    while True:
        ready, _, _ = select.select([controller], [], [], 60)
        if not ready:
            break
        try:
            chunk = os.read(controller, 65536)
        except OSError:  # the program closed its end
            break
        if not chunk:
            break
        seen += chunk
    os.close(controller)
    out = process.stdout.read().decode()
    process.stdout.close()
    return process.wait(timeout=60), out, seen.decode()


def test_progress_updates_one_line_in_place_on_a_terminal(tmp_path):
    status, out, terminal = run_on_terminal(sheet_tile_setup(tmp_path, count=30), tmp_path)
    assert status == 0, terminal
    assert "\r\x1b[KSheetTile: 0 of 30 done, now p00.pdf" in terminal
    assert "done, now" not in out
    # Every record starts on a cleared line, so none carries part of the
    # progress line; the progress line is gone before the summary.
    records = [line for line in terminal.replace("\r\x1b[K", "\n").splitlines() if line.strip()]
    assert all(line.startswith(("INFO ", "WARNING ", "ERROR ", "SheetTile: ")) for line in records), records
    summary = terminal.rsplit("\n", 2)[-2]
    assert summary.replace("\r\x1b[K", "").startswith("INFO SheetTile: Merged 30 of 30 PDF files"), repr(summary)
    assert terminal.endswith("\n")


def test_progress_in_a_log_is_a_line_per_tenth_of_the_work(tmp_path):
    result = run_program(sheet_tile_setup(tmp_path, count=30), cwd=tmp_path)
    assert result.returncode == 0
    progress = [line for line in result.stderr.splitlines() if " done, now " in line]
    assert 5 <= len(progress) <= 10, progress
    assert progress[0].startswith("INFO SheetTile: 3 of 30 done, now p03.pdf"), progress
    assert "\r" not in result.stderr and "\x1b" not in result.stderr
    assert "done, now" not in result.stdout
    assert result.stderr.splitlines()[-1].startswith("INFO SheetTile: Merged 30 of 30")


def test_quiet_shows_no_progress_on_a_terminal(tmp_path):
    status, out, terminal = run_on_terminal([*sheet_tile_setup(tmp_path, count=12), "-q"], tmp_path)
    assert status == 0
    assert "done, now" not in terminal
    assert terminal.strip().startswith("INFO SheetTile: Merged 12 of 12")


@pytest.mark.parametrize("shell", ["bash", "zsh", "fish"])
def test_shell_completion_script_is_produced(tmp_path, shell):
    result = run_program([], cwd=tmp_path, env_extra={"_VEL_KIT_COMPLETE": f"{shell}_source"})
    assert result.returncode == 0, result.stderr
    assert "_vel_kit_completion" in result.stdout
    assert "_VEL_KIT_COMPLETE" in result.stdout


def test_completion_offers_tools_and_options(tmp_path):
    env = {"_VEL_KIT_COMPLETE": "bash_complete", "COMP_WORDS": "vel-kit sh", "COMP_CWORD": "1"}
    assert run_program([], cwd=tmp_path, env_extra=env).stdout.split() == ["plain,sheet-tile"]
    env.update(COMP_WORDS="vel-kit sheet-tile --q", COMP_CWORD="2")
    assert run_program([], cwd=tmp_path, env_extra=env).stdout.split() == ["plain,--quiet"]


SAVES = {
    "picbook": (picbook_setup, "PicBook", "Saving the report (2 pages)", "img/report.pdf"),
    "sheet-tile": (sheet_tile_setup, "SheetTile", "Saving the report (1 sheet)", "out/r.pdf"),
}


def rendered(pdf, folder):
    """Every page of `pdf` as pdftoppm draws it: what a reader sees, without
    the creation date and file id that differ from run to run."""
    subprocess.run(["pdftoppm", "-r", "30", "-png", str(pdf), str(folder / "page")], check=True)
    return [page.read_bytes() for page in sorted(folder.glob("page-*.png"))]


@pytest.mark.parametrize("tool", SAVES)
def test_saving_the_report_is_a_progress_line_in_a_log_and_changes_nothing_else(tmp_path, tool):
    setup, label, saving, output = SAVES[tool]
    quiet = run_program([*setup(tmp_path / "quiet"), "-q"], cwd=tmp_path / "quiet")
    normal = run_program(setup(tmp_path / "normal"), cwd=tmp_path / "normal")
    assert quiet.returncode == normal.returncode == 0, normal.stderr
    lines = normal.stderr.splitlines()
    assert f"INFO {label}: {saving}" in lines, lines
    # After the last item, before the file is told written and the summary.
    at = lines.index(f"INFO {label}: {saving}")
    assert " done, now " in lines[at - 1] and at < len(lines) - 2, lines
    assert "Saving" not in quiet.stderr and "Saving" not in normal.stdout
    assert normal.stdout == quiet.stdout and lines[-1] == quiet.stderr.splitlines()[-1]
    pages = rendered(tmp_path / "quiet" / output, tmp_path / "quiet")
    assert pages and rendered(tmp_path / "normal" / output, tmp_path / "normal") == pages


@pytest.mark.parametrize("tool", SAVES)
def test_saving_the_report_shows_on_the_terminal_line_until_the_file_is_written(tmp_path, tool):
    setup, label, saving, output = SAVES[tool]
    status, out, terminal = run_on_terminal(["vel-kit", *setup(tmp_path)], tmp_path)
    assert status == 0, terminal
    shown = terminal.index(f"\r\x1b[K{label}: {saving}")
    # The last item's line is cleared first; the saving line (redrawn with
    # its share when the save is slow) is cleared before the records that
    # follow the save.
    assert terminal[:shown].endswith("\r\x1b[K"), repr(terminal)
    after = terminal[shown:].split("\r\x1b[K")[1:]
    while after[0].startswith(f"{label}: {saving}"):
        after.pop(0)
    assert after[0].startswith("INFO ") and "Saving" not in "".join(after), repr(terminal)
    assert "Saving" not in out and (tmp_path / output).is_file()
