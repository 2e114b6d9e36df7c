"""Temporary files of killed runs are removed by the next run that writes
into their folder."""
import json
import os
import re
import subprocess
import time
import zipfile
from pathlib import Path

from conftest import BIN, make_workbook, run_program

TEMPORARY = re.compile(r"^\..+\.tmp-[A-Za-z0-9]{6}$")


def temporaries(folder):
    return sorted(name for name in os.listdir(folder) if TEMPORARY.match(name)) if Path(folder).exists() else []


def receipt_sort_config(tmp_path, folder):
    config = tmp_path / "config.json"
    config.write_text(json.dumps({"config": {"path": str(folder)}}))
    return config


def make_large_workbook(path, cells, size):
    """A workbook carrying `size` bytes of incompressible ballast, so that
    copying it takes long enough to be interrupted."""
    make_workbook(path, cells)
    with zipfile.ZipFile(path, "a", zipfile.ZIP_STORED) as book:
        book.writestr("xl/media/ballast.bin", os.urandom(size))
    return path


def test_next_run_removes_what_an_earlier_run_left_and_nothing_else(tmp_path):
    folder = tmp_path / "receipts"
    make_workbook(folder / "a.xlsx", {"D6": "Ann", "P56": 10})
    (folder / "backup").mkdir()
    left = folder / "backup" / ".a.xlsx.tmp-Xy12Z9"
    left.write_bytes(b"partial copy")
    kept = [folder / "backup" / name for name in ("a.xlsx.tmp-Xy12Z9", ".a.xlsx.tmp-Xy12", ".notes")]
    for path in kept:
        path.write_text("a user's file")

    result = run_program(["receipt-sort", "-c", str(receipt_sort_config(tmp_path, folder))], tmp_path)
    assert result.returncode == 0, result.stderr
    assert not left.exists()
    assert all(path.exists() for path in kept)
    assert sorted(os.listdir(folder / "backup")) == sorted(["a.xlsx"] + [p.name for p in kept])


def test_killed_backup_copy_leaves_no_temporary_after_the_next_run(tmp_path):
    folder = tmp_path / "receipts"
    for index in range(4):
        make_large_workbook(folder / f"r{index}.xlsx", {"D6": f"P{index}", "P56": index + 1}, 16 << 20)
    backup = folder / "backup"
    argv = [str(BIN / "vel-kit"), "receipt-sort", "-c", str(receipt_sort_config(tmp_path, folder))]

    caught = 0
    for _ in range(5):
        left_before = set(temporaries(backup))
        child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Kill the moment a backup copy of this run is under way.
        while child.poll() is None and not set(temporaries(backup)) - left_before:
            time.sleep(0.0005)
        if child.poll() is None:
            child.kill()
        child.wait()
        caught += bool(set(temporaries(backup)) - left_before)
        if caught >= 2:
            break
    assert caught, "no run was killed during a backup copy"

    finished = subprocess.run(argv, capture_output=True, text=True)
    assert finished.returncode == 0, finished.stderr
    assert temporaries(backup) == [] and temporaries(folder) == [] and temporaries(folder / "results") == []
    assert len(os.listdir(folder / "results")) == 4
    assert not list(folder.glob("*.xlsx"))
