"""receipt-sort: reading the two cells, the new names, the rename run and
the command, including runs killed part-way."""
import datetime as dt
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import time
from collections import Counter
from pathlib import Path

import pytest

from conftest import BIN, make_workbook, run_program, store_formula_result
from velkit import receipt_sort
from velutil import fileMg

TEMPLATE = "config_expense_template.json"
# The date code of the frozen clock below.
CODE = "1207_06221653"


class FrozenClock(dt.datetime):
    @classmethod
    def now(cls, tz=None):
        return cls(2024, 12, 7, 6, 22, 16, 539999)


@pytest.fixture
def frozen_clock(monkeypatch):
    monkeypatch.setattr(receipt_sort, "datetime", FrozenClock)


def messages(err, level):
    """The lines of one level, without the progress lines of a long run."""
    prefix = f"{level} ReceiptSort: "
    return [line[len(prefix):] for line in err.splitlines()
            if line.startswith(prefix) and not re.match(r"\d+ of \d+ done, now ", line[len(prefix):])]


def names(folder):
    return sorted(p.name for p in Path(folder).iterdir()) if Path(folder).exists() else []


def config_for(folder, **config):
    return {"config": {"path": str(folder), **config}}


@pytest.fixture
def expense_folder(tmp_path):
    """The cases a user's folder holds: plain, awkward and unusable files."""
    folder = tmp_path / "receipts"
    make_workbook(folder / "a_trip.xlsx", {"D6": "Ann Lee", "P56": 1280})
    make_workbook(folder / "b_slash.xlsx", {"D6": " R&D/Lab: Müller ", "P56": 45.9})
    make_workbook(folder / "c_blank.xlsx", {"D6": "   ", "P56": 300})
    make_workbook(folder / "d_no_amount.xlsx", {"D6": "Bo"})
    make_workbook(folder / "e_half.xlsx", {"D6": "Cy", "P56": 1280.5})
    make_workbook(folder / "f_old.xls", {"D6": "Old", "P56": 1})
    (folder / "g_broken.xlsx").write_text("not a workbook")
    make_workbook(folder / "h_text.xlsx", {"D6": "Di", "P56": "12,50 EUR?"})
    return folder


EXPECTED_MOVES = [
    ("a_trip.xlsx", f"Ann Lee_1280_{CODE}.xlsx"),
    ("b_slash.xlsx", f"R&DLab Müller_45.9_{CODE}.xlsx"),
    ("c_blank.xlsx", f"_300_{CODE}.xlsx"),
    ("e_half.xlsx", f"Cy_1280.5_{CODE}.xlsx"),
    ("h_text.xlsx", f"Di_12,50 EUR_{CODE}.xlsx"),
]


class TestModule:
    def test_flags_template_and_help_text(self):
        assert receipt_sort.HAS_OPENPYXL is True
        assert receipt_sort.DEFAULT_CONFIG == {
            "config": {"path": "./data_receipt_sort", "dry_run": False},
            "excel_in": {"name_cell": "D6", "amount_cell": "P56"},
        }
        assert receipt_sort.HELP_TEXT == (
            "\n"
            "Read information from Excel and auto-renfiles. \n"
            "This tool relies entirely on a JSON configuration file.\n"
            "\n"
            "\b\n"
            "[JSON Parameter Description]:\n"
            "* config.path         : (String) Directory path containing the target Excel files.\n"
            "* config.dry_run      : (Boolean) Set to True to preview renamed files without actually moving them.\n"
            '* excel_in.name_cell  : (String) The exact cell coordinate for the Name (e.g., "D6").\n'
            '* excel_in.amount_cell: (String) The exact cell coordinate for the Amount (e.g., "P56").\n'
            "\n"
            "\b\n"
            "[Default config.json Template]:\n"
            + json.dumps(receipt_sort.DEFAULT_CONFIG, indent=4, ensure_ascii=False) + "\n"
        )

    def test_run_refuses_anything_but_a_mapping(self):
        with pytest.raises(TypeError):
            receipt_sort.process_expense_rename([("config", {})])


class TestReadingCells:
    def test_values_keep_their_types_and_empty_cells_give_none(self, tmp_path):
        when = dt.datetime(2024, 3, 1, 9, 30)
        path = make_workbook(tmp_path / "r.xlsx", {"D6": " Ann ", "P56": 1280, "A1": 2.5, "B2": when})
        values = receipt_sort.get_excel_cell_value(path, ["D6", "P56", "A1", "B2", "C3"])
        assert values == [" Ann ", 1280, 2.5, when, None]
        assert type(values[1]) is int

    def test_reads_the_active_sheet_not_the_first(self, tmp_path):
        from openpyxl import Workbook

        book = Workbook()
        book.active["D6"] = "first sheet"
        second = book.create_sheet("Claim")
        second["D6"] = "active sheet"
        book.active = 1
        book.save(tmp_path / "two.xlsx")
        assert receipt_sort.get_excel_cell_value(str(tmp_path / "two.xlsx"), ["D6"]) == ["active sheet"]

    def test_formula_gives_the_saved_result_or_none(self, tmp_path):
        path = make_workbook(tmp_path / "f.xlsx", {"A1": 2, "P56": "=A1*3"})
        assert receipt_sort.get_excel_cell_value(path, ["P56"]) == [None]
        store_formula_result(path, "P56", 6)
        assert receipt_sort.get_excel_cell_value(path, ["P56"]) == [6]

    @pytest.mark.parametrize("case", ["missing", "not-a-workbook", "bad-reference"])
    def test_failure_gives_nones_and_one_error_record(self, tmp_path, capsys, case):
        path = tmp_path / "x.xlsx"
        references = ["D6", "P56", "A1"]
        if case == "not-a-workbook":
            path.write_text("plain text")
        elif case == "bad-reference":
            make_workbook(path, {"D6": "Ann"})
            references = ["D6", "not a cell", "A1"]
        assert receipt_sort.get_excel_cell_value(str(path), references) == [None, None, None]
        errors = messages(capsys.readouterr().err, "ERROR")
        assert len(errors) == 1 and errors[0].startswith(f"Error reading excel {path}: ")

    def test_references_in_any_order_and_beyond_the_data(self, tmp_path):
        path = make_workbook(tmp_path / "r.xlsx", {"B2": "b", "D6": "d", "P56": 5})
        references = ["P56", "D6", "$B$2", "d6", "Z99", "A1"]
        assert receipt_sort.get_excel_cell_value(path, references) == [5, "d", "b", "d", None, None]
        # Cells far apart are looked up one by one, with the same results.
        assert receipt_sort.get_excel_cell_value(path, ["XFD1048576", "D6", "A1"]) == [None, "d", None]

    def test_workbook_is_closed_after_reading(self, tmp_path):
        path = make_workbook(tmp_path / "r.xlsx", {"D6": "Ann"})
        before = set(os.listdir("/proc/self/fd"))
        for _ in range(5):
            receipt_sort.get_excel_cell_value(path, ["D6", "P56"])
        assert len(set(os.listdir("/proc/self/fd")) - before) == 0


@pytest.mark.parametrize(
    "value, expected",
    [
        (None, "Unknown"),
        (" Ann/Lee:\u3000", "AnnLee"),
        ("", ""),
        ("???", ""),
        (dt.datetime(2024, 12, 7, 6, 22, 16), "2024-12-07 062216"),
        (0, "0"),
        (1280.5, "1280.5"),
        (True, "True"),
        (0.1 + 0.2, "0.3"),
        (100.0, "100"),
    ],
)
def test_sanitize_filename(value, expected):
    assert receipt_sort.sanitize_filename(value) == expected


class TestRun:
    def test_moves_each_workbook_with_a_backup(self, expense_folder, frozen_clock, capsys):
        originals = {p.name: p.read_bytes() for p in expense_folder.iterdir()}
        receipt_sort.process_expense_rename(config_for(expense_folder))
        err = capsys.readouterr().err
        results, backup = expense_folder / "results", expense_folder / "backup"
        assert names(results) == sorted(new for _, new in EXPECTED_MOVES)
        for old, new in EXPECTED_MOVES:
            assert (results / new).read_bytes() == originals[old]
            assert (backup / old).read_bytes() == originals[old]
        # What could not be handled stays where it was, untouched.
        assert names(expense_folder) == ["backup", "d_no_amount.xlsx", "f_old.xls", "g_broken.xlsx", "results"]
        for kept in ("d_no_amount.xlsx", "f_old.xls", "g_broken.xlsx"):
            assert (expense_folder / kept).read_bytes() == originals[kept]
        assert messages(err, "INFO") == [
            f"Starting expense processing in: {expense_folder}",
            "Not processed (only .xlsx workbooks are sorted): f_old.xls",
        ] + [f"Processing: {old} -> {new}" for old, new in EXPECTED_MOVES]
        errors = messages(err, "ERROR")
        assert errors[0] == (
            "---> Skipping d_no_amount.xlsx: Cannot find Name or Amount in D6 or P56: "
            "the amount cell P56 on sheet 'Sheet' is empty"
        )
        assert errors[1].startswith(f"Error reading excel {expense_folder / 'g_broken.xlsx'}: ")
        assert errors[2:] == ["---> Skipping g_broken.xlsx: Cannot find Name or Amount in D6 or P56"]

    @pytest.mark.parametrize("setting", [True, "True", "tRUE"])
    def test_dry_run_reports_and_touches_nothing(self, expense_folder, frozen_clock, capsys, setting):
        before = {p.name: p.read_bytes() for p in expense_folder.iterdir()}
        receipt_sort.process_expense_rename(config_for(expense_folder, dry_run=setting))
        assert {p.name: p.read_bytes() for p in expense_folder.iterdir()} == before
        assert messages(capsys.readouterr().err, "INFO")[2:] == [
            f"[Dry-Run] Would move: {old} -> {new}" for old, new in EXPECTED_MOVES
        ]

    @pytest.mark.parametrize("setting", [False, "false", "FALSE"])
    def test_false_moves(self, tmp_path, setting):
        make_workbook(tmp_path / "r.xlsx", {"D6": "Ann", "P56": 5})
        receipt_sort.process_expense_rename(config_for(tmp_path, dry_run=setting))
        assert not (tmp_path / "r.xlsx").exists() and len(names(tmp_path / "results")) == 1

    @pytest.mark.parametrize("setting", [1, "yes", None, 0])
    def test_any_other_dry_run_value_is_refused_and_nothing_moves(self, tmp_path, setting):
        make_workbook(tmp_path / "r.xlsx", {"D6": "Ann", "P56": 5})
        with pytest.raises(TypeError, match="'config.dry_run' must be true or false"):
            receipt_sort.process_expense_rename(config_for(tmp_path, dry_run=setting))
        assert names(tmp_path) == ["r.xlsx"]

    def test_defaults_for_missing_sections(self, tmp_path, monkeypatch, frozen_clock):
        monkeypatch.chdir(tmp_path)
        make_workbook(tmp_path / "data_receipt_sort" / "r.xlsx", {"D6": "Ann", "P56": 5})
        receipt_sort.process_expense_rename({})
        assert names(tmp_path / "data_receipt_sort" / "results") == [f"Ann_5_{CODE}.xlsx"]
        make_workbook(tmp_path / "other" / "r.xlsx", {"A1": "Bo", "B2": 7})
        receipt_sort.process_expense_rename(
            {"config": {"path": "other"}, "excel_in": {"name_cell": "A1", "amount_cell": "B2"}})
        assert names(tmp_path / "other" / "results") == [f"Bo_7_{CODE}.xlsx"]

    def test_equal_names_never_replace_a_result(self, tmp_path, frozen_clock, capsys):
        first = make_workbook(tmp_path / "a.xlsx", {"D6": "Ann", "P56": 5, "A1": 1})
        make_workbook(tmp_path / "b.xlsx", {"D6": "Ann", "P56": 5, "A1": 2})
        make_workbook(tmp_path / "c.xlsx", {"D6": "Ann", "P56": 5, "A1": 3})
        (tmp_path / "results").mkdir()
        earlier = tmp_path / "results" / f"Ann_5_{CODE}.xlsx"
        earlier.write_bytes(first.read_bytes() + b"from an earlier run")
        expected = [f"a.xlsx -> Ann_5_{CODE}_2.xlsx", f"b.xlsx -> Ann_5_{CODE}_3.xlsx",
                    f"c.xlsx -> Ann_5_{CODE}_4.xlsx"]

        receipt_sort.process_expense_rename(config_for(tmp_path, dry_run=True))
        assert messages(capsys.readouterr().err, "INFO")[1:] == [
            f"[Dry-Run] Would move: {m}" for m in expected] + ["Would move 3 workbooks"]
        receipt_sort.process_expense_rename(config_for(tmp_path))
        assert messages(capsys.readouterr().err, "INFO")[1:] == [
            f"Processing: {m}" for m in expected] + ["Moved 3 workbooks"]

        assert earlier.read_bytes().endswith(b"from an earlier run")
        read = [receipt_sort.get_excel_cell_value(tmp_path / "results" / f"Ann_5_{CODE}_{n}.xlsx", ["A1"])[0]
                for n in (2, 3, 4)]
        assert read == [1, 2, 3]

    def test_name_taken_between_planning_and_moving(self, tmp_path, frozen_clock, monkeypatch, capsys):
        make_workbook(tmp_path / "a.xlsx", {"D6": "Ann", "P56": 5})
        real_move = fileMg.move_file_force

        def move_after_another_program(src, dest, backup, replace=True):
            Path(dest).parent.mkdir(exist_ok=True)
            Path(dest).write_text("written by another program")
            return real_move(src=src, dest=dest, backup=backup, replace=replace)

        monkeypatch.setattr(fileMg, "move_file_force", move_after_another_program)
        receipt_sort.process_expense_rename(config_for(tmp_path))
        results = tmp_path / "results"
        assert (results / f"Ann_5_{CODE}.xlsx").read_text() == "written by another program"
        assert receipt_sort.get_excel_cell_value(results / f"Ann_5_{CODE}_2.xlsx", ["D6"]) == ["Ann"]
        assert messages(capsys.readouterr().err, "INFO")[1:] == [
            f"Processing: a.xlsx -> Ann_5_{CODE}.xlsx",
            f"---> Ann_5_{CODE}.xlsx was taken meanwhile; moved as Ann_5_{CODE}_2.xlsx",
            "Moved 1 workbook",
        ]

    def test_failed_move_is_logged_and_the_run_goes_on(self, tmp_path, capsys):
        make_workbook(tmp_path / "a.xlsx", {"D6": "Ann", "P56": 5})
        make_workbook(tmp_path / "sub" / "b.xlsx", {"D6": "Bo", "P56": 6})
        (tmp_path / "results").write_text("a file where the folder belongs")
        receipt_sort.process_expense_rename(config_for(tmp_path))
        errors = messages(capsys.readouterr().err, "ERROR")
        assert len(errors) == 1 and errors[0].startswith(f"Failed to move {tmp_path / 'a.xlsx'}: ")
        assert receipt_sort.get_excel_cell_value(tmp_path / "a.xlsx", ["D6"]) == ["Ann"]
        # Sub-folders are not searched.
        assert (tmp_path / "sub" / "b.xlsx").exists()

    @pytest.mark.parametrize(
        "data, problem",
        [
            ({"config": 5}, "'config' must be an object, not int"),
            ({"config": None}, "'config' must be an object, not NoneType"),
            ({"excel_in": ["D6"]}, "'excel_in' must be an object, not list"),
            ({"config": {"path": 3}}, "'config.path' must be a string (got 3)"),
            ({"excel_in": {"name_cell": 6}}, "'excel_in.name_cell' must be a string (got 6)"),
        ],
    )
    def test_unusable_configuration_is_refused_by_name(self, tmp_path, monkeypatch, data, problem):
        monkeypatch.chdir(tmp_path)
        with pytest.raises(TypeError, match=problem.replace("(", r"\(").replace(")", r"\)")):
            receipt_sort.process_expense_rename(data)
        assert names(tmp_path) == []


class TestCommand:
    def test_runs_the_configuration_through_the_host(self, expense_folder, tmp_path):
        config = tmp_path / "c.json"
        config.write_text(json.dumps(config_for(expense_folder, dry_run="True")), encoding="utf-8")
        result = run_program(["receipt-sort", "-c", str(config)], tmp_path)
        assert result.returncode == 0 and result.stdout == ""
        # The start, the workbooks not processed, and each planned move.
        assert len(messages(result.stderr, "INFO")) == 2 + len(EXPECTED_MOVES)
        assert not (expense_folder / "results").exists() and not (expense_folder / "backup").exists()

    @pytest.mark.parametrize(
        "content, problem",
        [
            (b"{ nope", "is not valid JSON: "),
            (b"[1, 2]", "must hold a JSON object at the top level, not list."),
            (b'{"config": "x"}', "Invalid configuration in "),
        ],
        ids=["invalid-json", "top-level-list", "config-text"],
    )
    def test_unusable_file_gives_a_message_not_a_traceback(self, tmp_path, content, problem):
        config = tmp_path / "c.json"
        config.write_bytes(content)
        result = run_program(["receipt-sort", "-c", str(config)], tmp_path)
        assert result.returncode == 1
        assert problem in result.stderr and str(config) in result.stderr
        assert "Traceback" not in result.stderr

    def test_without_openpyxl_template_works_and_run_says_what_to_install(self, tmp_path):
        make_workbook(tmp_path / "data" / "r.xlsx", {"D6": "Ann", "P56": 5})
        (tmp_path / "c.json").write_text(json.dumps({"config": {"path": "data"}}))
        code = (
            "import sys\n"
            "sys.modules['openpyxl'] = None\n"
            "from velkit import receipt_sort\n"
            "assert receipt_sort.HAS_OPENPYXL is False\n"
            "receipt_sort.cmd_receipt_sort(sys.argv[1:])\n"
        )
        for args, status in ((["--generate-config"], 0), (["-c", "c.json"], 1)):
            result = subprocess.run([str(BIN / "python"), "-c", code, *args], cwd=tmp_path,
                                    capture_output=True, text=True)
            assert result.returncode == status, result.stderr
        assert (tmp_path / TEMPLATE).exists()
        assert messages(result.stderr, "ERROR") == [
            "Missing required package (openpyxl). Install it with: pip install 'velkit[excel]'"]
        assert names(tmp_path / "data") == ["r.xlsx"]


def digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def visible_files(folder):
    folder = Path(folder)
    return [p for p in folder.iterdir() if p.is_file() and not p.name.startswith(".")] if folder.exists() else []


def test_killed_runs_lose_no_workbook(tmp_path):
    """Kills runs at random moments; after each kill every workbook is whole,
    either still in the input folder or in the results folder, and each one
    in the results folder has its backup."""
    folder, calibration = tmp_path / "in", tmp_path / "calibration"
    for index in range(40):
        # Few distinct names and amounts, so that runs also collide on names.
        cells = {"D6": f"P{index % 3}", "P56": index % 2, "A1": index}
        make_workbook(folder / f"r{index:02d}.xlsx", cells)
        make_workbook(calibration / f"r{index:02d}.xlsx", cells)
    originals = Counter(digest(p) for p in visible_files(folder))

    def command(path):
        config = tmp_path / f"{path.name}.json"
        config.write_text(json.dumps(config_for(path)))
        return [str(BIN / "vel-kit"), "receipt-sort", "-c", str(config)]

    def check():
        inputs = [digest(p) for p in visible_files(folder) if p.suffix == ".xlsx"]
        results = [digest(p) for p in visible_files(folder / "results")]
        assert Counter(inputs + results) == originals
        backups = {digest(p) for p in visible_files(folder / "backup")}
        assert set(results) <= backups
        return len(inputs)

    # How long the program takes to start and each workbook takes, so that
    # the kills fall while workbooks are being handled. The fastest of three
    # starts: one slowed by a busy machine would put every kill past the end.
    (tmp_path / "empty").mkdir()
    starts = []
    for _ in range(3):
        start = time.perf_counter()
        subprocess.run(command(tmp_path / "empty"), check=True, capture_output=True)
        starts.append(time.perf_counter() - start)
    start_up = min(starts)
    start = time.perf_counter()
    subprocess.run(command(calibration), check=True, capture_output=True)
    per_workbook = max(time.perf_counter() - start - start_up, 0.01) / 40

    argv = command(folder)
    pristine = tmp_path / "pristine"
    shutil.copytree(folder, pristine)
    random.seed(7)
    remaining, interrupted_mid_run = len(originals), 0
    for attempt in range(20):
        moved_before = len(visible_files(folder / "results"))
        child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if attempt % 2 == 0:
            # However busy the machine, this kill falls just after the run
            # has moved a workbook: it lands mid-run.
            deadline = time.monotonic() + 60
            while (child.poll() is None and time.monotonic() < deadline
                   and len(visible_files(folder / "results")) == moved_before):
                time.sleep(0.001)
        else:
            # At a random moment. The calibration run's time also holds the
            # flush of the whole batch at its end, so the estimate per
            # workbook runs high: aim at the first part of what is left.
            time.sleep(start_up * 0.9 + random.uniform(0, per_workbook * remaining * 0.6))
        child.send_signal(signal.SIGKILL)
        child.wait()
        left = check()
        interrupted_mid_run += 0 < left < remaining
        remaining = left
        if remaining == 0:
            if interrupted_mid_run >= 2:
                break
            # Every workbook was sorted before enough kills landed mid-run:
            # again from the start.
            shutil.rmtree(folder)
            shutil.copytree(pristine, folder)
            remaining = len(originals)
    assert interrupted_mid_run >= 1
    subprocess.run(argv, check=True, capture_output=True)
    assert check() == 0


def summary_of(err):
    """The closing summary: the last line of the run's own log."""
    lines = [line for line in err.splitlines() if line.startswith(("INFO ReceiptSort: ", "WARNING ReceiptSort: "))]
    return lines[-1].split("ReceiptSort: ", 1)[1] if lines else None


def status_case(case, tmp_path):
    """The folder and configuration of one status class; returns the config."""
    folder = tmp_path / "in"
    data = config_for(folder)
    if case in ("clean", "dry-run", "partial", "unwritable-output"):
        make_workbook(folder / "a.xlsx", {"D6": "Ann", "P56": 5})
        make_workbook(folder / "b.xlsx", {"D6": "Bo", "P56": 6})
    if case == "dry-run":
        data["config"]["dry_run"] = True
    if case == "partial":
        make_workbook(folder / "c_empty.xlsx", {"D6": "Cy"})
        (folder / "d_broken.xlsx").write_text("not a workbook")
    if case == "all-failed":
        for name in ("x.xlsx", "y.xlsx"):
            (folder / name).parent.mkdir(exist_ok=True)
            (folder / name).write_text("not a workbook")
    if case == "empty":
        folder.mkdir()
        (folder / "notes.txt").write_text("no workbooks here")
    if case == "unwritable-output":
        (folder / "results").write_text("a file where the folder belongs")
    return data


@pytest.mark.parametrize(
    "case, status, summary",
    [
        ("clean", 0, "Moved 2 workbooks"),
        ("dry-run", 0, "Would move 2 workbooks"),
        ("partial", 0, "Moved 2 workbooks; skipped 1 (no name or amount); 1 failed: d_broken.xlsx"),
        ("empty", 0, "Moved 0 workbooks"),
        ("missing-input", 1, None),
        ("all-failed", 1, "Moved 0 workbooks; 2 failed: x.xlsx, y.xlsx"),
        ("unwritable-output", 1, "Moved 0 workbooks; 2 failed: a.xlsx, b.xlsx"),
    ],
)
def test_exit_status_and_summary(tmp_path, case, status, summary):
    data = status_case(case, tmp_path)
    config = tmp_path / "c.json"
    config.write_text(json.dumps(data))
    result = run_program(["receipt-sort", "-c", str(config)], tmp_path)
    assert result.returncode == status, result.stderr
    assert summary_of(result.stderr) == (summary or f"Starting expense processing in: {tmp_path / 'in'}")
    level = "INFO" if "failed" not in (summary or "") else "WARNING"
    if summary:
        assert f"{level} ReceiptSort: {summary}" in result.stderr
    else:
        assert messages(result.stderr, "ERROR") == [] and f"Folder not found: {tmp_path / 'in'}" in result.stderr
    assert "Traceback" not in result.stderr


@pytest.mark.parametrize(
    "content, problem",
    [
        (b'{"config": null}', "'config' must be an object, not NoneType"),
        (b'{"config": []}', "'config' must be an object, not list"),
        (b'{"excel_in": {"amount_cell": "P"}}', "'excel_in.amount_cell' must be a cell reference such as \"D6\" (got 'P')"),
        (b'{"config": {"path": ""}}', "'config.path' must be a non-empty text (got '')"),
        (b"[]", "must hold a JSON object at the top level, not list"),
        (b"", "is not valid JSON"),
        (b'{"config": {"path": "\xff"}}', "UTF-8"),
        (b"{}", "Folder not found: ./data_receipt_sort"),
    ],
    ids=["config-null", "config-list", "not-a-cell", "empty-path", "top-level-list", "empty-file", "not-utf8",
         "no-keys-default-folder-missing"],
)
def test_refused_configuration_never_exits_0_silently(tmp_path, content, problem):
    config = tmp_path / "c.json"
    config.write_bytes(content)
    result = run_program(["receipt-sort", "-c", str(config)], tmp_path)
    assert result.returncode == 1
    assert problem in result.stderr
    assert "Traceback" not in result.stderr


def test_file_name_that_is_not_utf8(tmp_path):
    folder = tmp_path / "in"
    make_workbook(folder / "good.xlsx", {"D6": "Ann", "P56": 5})
    bad = os.path.join(os.fsencode(folder), b"bad\xffname.xlsx")
    with open(bad, "wb") as target:
        target.write(make_workbook(tmp_path / "src.xlsx", {"D6": "Bo", "P56": 6}).read_bytes())
    config = tmp_path / "c.json"
    config.write_text(json.dumps(config_for(folder)))
    result = run_program(["receipt-sort", "-c", str(config)], tmp_path)
    assert result.returncode == 0 and "Traceback" not in result.stderr
    assert "Processing: bad\\xffname.xlsx -> Bo_6_" in result.stderr
    assert summary_of(result.stderr) == "Moved 2 workbooks"
    # The backup keeps the name's own bytes.
    assert sorted(os.listdir(os.fsencode(folder / "backup"))) == [b"bad\xffname.xlsx", b"good.xlsx"]


class TestAwkwardCells:
    def run(self, tmp_path, cells, capsys):
        make_workbook(tmp_path / "r.xlsx", {"D6": "Ann", "P56": 5, **cells})
        receipt_sort.process_expense_rename(config_for(tmp_path))
        return names(tmp_path / "results"), capsys.readouterr().err

    @pytest.mark.parametrize(
        "cells, expected",
        [
            ({"D6": "Ann\nLee\tB."}, f"Ann Lee B_5_{CODE}.xlsx"),  # a break is a blank
            ({"D6": ".profile"}, f"profile_5_{CODE}.xlsx"),
        ],
        ids=["line-feed-and-tab", "leading-dot"],
    )
    def test_names_are_safe(self, tmp_path, frozen_clock, capsys, cells, expected):
        assert self.run(tmp_path, cells, capsys)[0] == [expected]

    def test_float_stored_with_17_digits_shows_15(self, tmp_path, frozen_clock):
        path = make_workbook(tmp_path / "r.xlsx", {"D6": "Ann", "P56": "=0.1+0.2"})
        store_formula_result(path, "P56", "0.30000000000000004")
        receipt_sort.process_expense_rename(config_for(tmp_path))
        assert names(tmp_path / "results") == [f"Ann_0.3_{CODE}.xlsx"]

    def test_330_characters_fit_in_255_bytes(self, tmp_path, frozen_clock, capsys):
        moved, err = self.run(tmp_path, {"D6": "Ü" * 330}, capsys)
        assert len(moved) == 1 and len(moved[0].encode()) <= 255
        assert moved[0] == "Ü" * 117 + f"_5_{CODE}.xlsx"
        assert names(tmp_path / "backup") == ["r.xlsx"] and messages(err, "ERROR") == []

    def test_error_cells_count_as_missing(self, tmp_path, capsys):
        moved, err = self.run(tmp_path, {"P56": "#N/A"}, capsys)
        assert moved == [] and (tmp_path / "r.xlsx").exists()
        assert messages(err, "ERROR") == ["---> Skipping r.xlsx: Cell P56 holds an error value (#N/A)"]
        assert summary_of(err) == "Moved 0 workbooks; skipped 1 (no name or amount)"
        # Read on its own, the cell still gives its text.
        assert receipt_sort.get_excel_cell_value(tmp_path / "r.xlsx", ["P56"]) == ["#N/A"]

    @pytest.mark.parametrize("error", ["#SPILL!", "#CALC!", "#BLOCKED!"])
    def test_newer_error_values_are_skipped_too(self, tmp_path, capsys, error):
        from openpyxl import Workbook

        book = Workbook()
        book.active["D6"], book.active["P56"] = "Ann", error
        book.active["P56"].data_type = "e"  # openpyxl itself knows only the seven older ones
        book.save(tmp_path / "r.xlsx")
        receipt_sort.process_expense_rename(config_for(tmp_path))
        err = capsys.readouterr().err
        assert names(tmp_path / "results") == []
        assert messages(err, "ERROR") == [f"---> Skipping r.xlsx: Cell P56 holds an error value ({error})"]

    def test_error_text_typed_as_text_is_a_name(self, tmp_path, frozen_clock):
        from openpyxl import Workbook

        book = Workbook()
        book.active["D6"], book.active["P56"] = "#N/A", 5
        book.active["D6"].data_type = "s"
        book.save(tmp_path / "r.xlsx")
        receipt_sort.process_expense_rename(config_for(tmp_path))
        assert names(tmp_path / "results") == [f"#NA_5_{CODE}.xlsx"]


class TestNoStrayBackups:
    def test_failed_move_takes_its_backup_back_and_a_retry_adds_none(self, tmp_path, monkeypatch, frozen_clock,
                                                                     capsys):
        original = make_workbook(tmp_path / "a.xlsx", {"D6": "Ann", "P56": 5}).read_bytes()
        real_move = fileMg.move_file_force
        blocker = tmp_path / "blocker"
        blocker.write_text("a file where a folder belongs")

        def move_into_a_file(src, dest, backup, replace=True):
            # Fails after the backup copy, as a full disk would.
            return real_move(src=src, dest=str(blocker / "x.xlsx"), backup=backup, replace=replace)

        monkeypatch.setattr(fileMg, "move_file_force", move_into_a_file)
        for _ in range(2):
            receipt_sort.process_expense_rename(config_for(tmp_path))
            assert messages(capsys.readouterr().err, "ERROR")[0].startswith(f"Failed to move {tmp_path / 'a.xlsx'}: ")
            assert names(tmp_path / "backup") == [] and (tmp_path / "a.xlsx").read_bytes() == original
        monkeypatch.setattr(fileMg, "move_file_force", real_move)
        receipt_sort.process_expense_rename(config_for(tmp_path))
        assert names(tmp_path / "backup") == ["a.xlsx"] and names(tmp_path / "results") == [f"Ann_5_{CODE}.xlsx"]

    @pytest.mark.parametrize("dry_run", [True, False], ids=["dry-run", "real"])
    def test_known_failures_are_reported_before_any_copy(self, tmp_path, capsys, dry_run):
        make_workbook(tmp_path / "a.xlsx", {"D6": "Ann", "P56": 5})
        (tmp_path / "results").write_text("a file where the folder belongs")
        receipt_sort.process_expense_rename(config_for(tmp_path, dry_run=dry_run))
        errors = messages(capsys.readouterr().err, "ERROR")
        start = "[Dry-Run] Would fail to move a.xlsx: " if dry_run else f"Failed to move {tmp_path / 'a.xlsx'}: "
        assert errors == [start + f"cannot use the results folder {tmp_path / 'results'}: it is not a folder"]
        assert names(tmp_path) == ["a.xlsx", "results"]


class TestWhatIsNotProcessed:
    def test_other_spreadsheets_are_named_in_one_line(self, tmp_path, capsys):
        for name in ("a.xlsm", "b.xls", "c.ods", "d.XLSB", "e.csv"):
            (tmp_path / name).write_text("x")
        make_workbook(tmp_path / "r.xlsx", {"D6": "Ann", "P56": 5})
        receipt_sort.process_expense_rename(config_for(tmp_path))
        info = messages(capsys.readouterr().err, "INFO")
        assert info[1] == "Not processed (only .xlsx workbooks are sorted): a.xlsm, b.xls, c.ods, d.XLSB"
        assert (tmp_path / "a.xlsm").exists() and (tmp_path / "e.csv").exists()

    def test_password_protected_workbook_is_called_so(self, tmp_path, capsys):
        # How an encrypted workbook starts: a compound file holding the
        # stream "EncryptionInfo" (names stored as UTF-16).
        content = bytes.fromhex("d0cf11e0a1b11ae1") + bytes(1000) + "EncryptionInfo".encode("utf-16-le")
        (tmp_path / "locked.xlsx").write_bytes(content + bytes(1000))
        receipt_sort.process_expense_rename(config_for(tmp_path))
        err = capsys.readouterr().err
        assert messages(err, "ERROR")[0].startswith(
            f"Error reading excel {tmp_path / 'locked.xlsx'}: the workbook is password-protected")
        assert summary_of(err) == "Moved 0 workbooks; 1 failed: locked.xlsx"

    def test_chart_as_active_sheet_is_said(self, tmp_path, capsys):
        from openpyxl import Workbook
        from openpyxl.chart import BarChart, Reference

        book = Workbook()
        sheet = book.active
        sheet["D6"], sheet["P56"], sheet["A1"] = "Ann", 5, 1
        chart = BarChart()
        chart.add_data(Reference(sheet, min_col=1, min_row=1, max_row=1))
        book.create_chartsheet("Overview").add_chart(chart)
        book.active = 1
        book.save(tmp_path / "chart.xlsx")
        receipt_sort.process_expense_rename(config_for(tmp_path))
        assert messages(capsys.readouterr().err, "ERROR")[0] == (
            f"Error reading excel {tmp_path / 'chart.xlsx'}: "
            "the active sheet 'Overview' is a chart, not a worksheet with cells")


def test_reader_warnings_go_through_the_log_with_the_workbook(tmp_path):
    import re
    import zipfile

    folder = tmp_path / "in"
    plain = make_workbook(folder / "plain.xlsx", {"D6": "Ann", "P56": 5})
    # A workbook without named styles, as some programs write them: the
    # reader warns and reads it all the same.
    with zipfile.ZipFile(plain) as source:
        parts = {name: source.read(name) for name in source.namelist()}
    parts["xl/styles.xml"] = re.sub(rb"<cellStyles.*?</cellStyles>", b"", parts["xl/styles.xml"])
    with zipfile.ZipFile(folder / "unstyled.xlsx", "w") as target:
        for name, data in parts.items():
            target.writestr(name, data)
    config = tmp_path / "c.json"
    config.write_text(json.dumps(config_for(folder)))
    result = run_program(["receipt-sort", "-c", str(config)], tmp_path)
    assert result.returncode == 0
    assert messages(result.stderr, "WARNING") == [
        "unstyled.xlsx: Workbook contains no default style, apply openpyxl's default"]
    assert all(line.startswith(("INFO ReceiptSort: ", "WARNING ReceiptSort: ")) for line in result.stderr.splitlines())
    assert summary_of(result.stderr) == "Moved 2 workbooks"


class TestWorkbooksAsTheyCome:
    @pytest.mark.parametrize("lock_name", ["~$a_open.xlsx", ".~lock.a_open.xlsx#", "~$open.xlsx"])
    def test_a_workbook_open_in_another_program_stays(self, tmp_path, frozen_clock, capsys, lock_name):
        make_workbook(tmp_path / "a_open.xlsx", {"D6": "Ann", "P56": 12})
        make_workbook(tmp_path / "b_closed.xlsx", {"D6": "Bo", "P56": 7})
        (tmp_path / lock_name).write_bytes(b"owner")
        receipt_sort.process_expense_rename(config_for(tmp_path))
        err = capsys.readouterr().err
        assert (tmp_path / "a_open.xlsx").exists() and not (tmp_path / "b_closed.xlsx").exists()
        assert (tmp_path / lock_name).read_bytes() == b"owner"
        assert [m for m in messages(err, "WARNING") if "a_open.xlsx" in m] == [
            f"---> Skipping a_open.xlsx: is open in another program ({lock_name} is beside it); "
            "it stays where it is until it is closed"
        ]
        assert "Moved 1 workbook; skipped 1 (open in another program)" in err

    def test_names_lose_bidi_controls_and_breaks_become_blanks(self, tmp_path, frozen_clock):
        make_workbook(tmp_path / "r.xlsx", {"D6": "Rechnung\u202excod.exe", "P56": "Ann\nLee  \u200bJr"})
        receipt_sort.process_expense_rename(config_for(tmp_path))
        (moved,) = names(tmp_path / "results")
        assert moved.startswith("Rechnungxcod.exe_Ann Lee Jr_") and moved.endswith(".xlsx")

    @pytest.mark.parametrize(
        "cells, detail",
        [
            ({"P56": 5}, "the name cell D6 on sheet 'Spesen' is empty"),
            ({}, "the name cell D6 and the amount cell P56 on sheet 'Spesen' are empty"),
            (
                {"D6": "Ann", "P56": "=SUM(A1:A3)"},
                "the amount cell P56 on sheet 'Spesen' holds a formula saved without a result "
                "(open the workbook in a spreadsheet program and save it)",
            ),
        ],
        ids=["name-empty", "both-empty", "formula-without-result"],
    )
    def test_the_skip_names_the_cell_and_the_sheet(self, tmp_path, frozen_clock, capsys, cells, detail):
        make_workbook(tmp_path / "x.xlsx", cells, sheet_title="Spesen")
        receipt_sort.process_expense_rename(config_for(tmp_path))
        assert messages(capsys.readouterr().err, "ERROR") == [
            f"---> Skipping x.xlsx: Cannot find Name or Amount in D6 or P56: {detail}"
        ]

    def test_a_strict_open_xml_workbook_is_refused_as_one(self, tmp_path, frozen_clock, capsys):
        import zipfile

        path = make_workbook(tmp_path / "strict.xlsx", {"D6": "Ann", "P56": 5}) or tmp_path / "strict.xlsx"
        with zipfile.ZipFile(path) as source:
            parts = {name: source.read(name) for name in source.namelist()}
        parts["xl/workbook.xml"] = parts["xl/workbook.xml"].replace(
            b"http://schemas.openxmlformats.org/spreadsheetml/2006/main",
            b"http://purl.oclc.org/ooxml/spreadsheetml/main",
        )
        with zipfile.ZipFile(path, "w") as target:
            for name, data in parts.items():
                target.writestr(name, data)
        receipt_sort.process_expense_rename(config_for(tmp_path))
        errors = messages(capsys.readouterr().err, "ERROR")
        assert "is saved as Strict Open XML" in errors[0] and path.exists()
