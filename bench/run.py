"""Velkit benchmarks. Each line prints a figure and its ratio to the
baseline it is measured against, side by side in one run.

Run with `make bench` (or .venv/bin/python bench/run.py)."""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BIN = Path(sys.executable).parent
HERE = Path(__file__).resolve().parent
DATA = HERE.parent / "build" / "bench-data"


def run_once(argv, cwd):
    """Wall seconds and peak resident memory (MiB) of one child process."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    error = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if child.returncode != 0:
        raise SystemExit(f"{' '.join(map(str, argv))} failed ({child.returncode}):\n{error}")
    return elapsed, usage.ru_maxrss / 1024


def compare(label, subject, baseline, cwd, repeats, target, memory_target=None, prepare=None):
    """Runs subject and baseline alternately and prints medians and ratios;
    `prepare(role)`, when given, runs before each run and is not timed."""
    times = {"subject": [], "baseline": []}
    memory = {"subject": 0.0, "baseline": 0.0}
    for _ in range(repeats):
        for role, argv in (("baseline", baseline), ("subject", subject)):
            if prepare:
                prepare(role)
            seconds, peak = run_once(argv, cwd)
            times[role].append(seconds)
            memory[role] = max(memory[role], peak)
    subject_s, baseline_s = statistics.median(times["subject"]), statistics.median(times["baseline"])
    ratio = subject_s / baseline_s
    line = (f"{label}: {subject_s * 1000:.0f} ms vs {baseline_s * 1000:.0f} ms, "
            f"time ratio {ratio:.2f} (target <= {target})")
    if memory_target is not None:
        memory_ratio = memory["subject"] / memory["baseline"]
        line += (f"; peak memory {memory['subject']:.0f} MiB vs {memory['baseline']:.0f} MiB, "
                 f"ratio {memory_ratio:.2f} (target <= {memory_target})")
    print(line, flush=True)


def make_bench_images(count=200, size=(1600, 1200)):
    """200 photo-like JPEGs (gradients with noise), made once and kept."""
    from PIL import Image, ImageChops

    folder = DATA / "picbook"
    marker = folder / ".complete"
    if marker.exists():
        return folder
    folder.mkdir(parents=True, exist_ok=True)
    noise = Image.effect_noise(size, 40).convert("RGB")
    for index in range(count):
        gradient = Image.linear_gradient("L").resize(size).rotate(index * 7 % 360)
        base = Image.merge("RGB", (gradient, gradient.transpose(Image.Transpose.FLIP_LEFT_RIGHT), gradient))
        image = ImageChops.add(base, noise, scale=2.0)
        image.save(folder / f"Result_g{index % 4}_run{index:03d}.jpg", quality=85)
    marker.touch()
    return folder


def picbook_config(folder, work):
    groups = [
        {"name": f"Group {g}", "pattern": f"_g{g}_", "experiments_per_page": 1, "cols_per_row": 5}
        for g in range(4)
    ]
    config = {
        "config": {"image_folder": str(folder), "file_prefix": "Result", "output_file": "bench_report.pdf",
                   "page_height": 297, "top_margin": 10, "bottom_margin": 5, "title_buffer": 25, "row_gap": 10},
        "main_page": {"title_of_report": "Benchmark Report"},
        "groups": groups,
    }
    path = Path(work) / "bench_picbook.json"
    path.write_text(json.dumps(config), encoding="utf-8")
    return path


def make_bench_workbooks(count=500):
    """500 expense workbooks (a name, line items, a total), made once and kept."""
    from openpyxl import Workbook

    folder = DATA / "receipt_sort"
    marker = folder / ".complete"
    if marker.exists():
        return folder
    folder.mkdir(parents=True, exist_ok=True)
    for index in range(count):
        book = Workbook()
        sheet = book.active
        sheet["C6"], sheet["D6"] = "Name:", f"Person {index % 40}"
        for row in range(10, 40):
            sheet.cell(row=row, column=3, value=f"item {row}")
            sheet.cell(row=row, column=16, value=row * 1.5)
        sheet["O56"], sheet["P56"] = "Total", 100 + index
        book.save(folder / f"claim_{index:03d}.xlsx")
    marker.touch()
    return folder


def receipt_sort_rounds(work):
    """The two configurations, and the step before each run that gives that
    side a fresh copy of the same 500 workbooks (after checking that its
    previous run moved them all)."""
    source = make_bench_workbooks()
    folders, configs = {}, {}
    for role in ("subject", "baseline"):
        folders[role] = Path(work) / f"receipts-{role}"
        configs[role] = Path(work) / f"receipt_sort_{role}.json"
        configs[role].write_text(json.dumps({"config": {"path": str(folders[role]), "dry_run": False},
                                             "excel_in": {"name_cell": "D6", "amount_cell": "P56"}}))

    def prepare(role):
        folder = folders[role]
        if folder.exists():
            if len(os.listdir(folder / "results")) != 500:
                raise SystemExit(f"receipt-sort {role} did not move all 500 workbooks")
            shutil.rmtree(folder)
        shutil.copytree(source, folder, ignore=shutil.ignore_patterns(".complete"))

    return configs, prepare


def main():
    python = sys.executable
    velkit = str(BIN / "vel-kit")
    with tempfile.TemporaryDirectory() as work:
        compare("vel-kit --help", [velkit, "--help"], [python, "-c", "import click"], work, 21, 1.5)
        compare("vel-kit picbook --generate-config", [velkit, "picbook", "--generate-config"],
                [python, "-c", "import click, fpdf, PIL"], work, 21, 1.2)
        images = make_bench_images()
        config = picbook_config(images, work)
        compare("picbook report, 200 JPEGs 1600x1200 in 4 groups", [velkit, "picbook", "-c", str(config)],
                [python, str(HERE / "picbook_baseline.py"), str(config)], work, 3, 1.15, 1.2)
        configs, prepare = receipt_sort_rounds(work)
        compare("receipt-sort, 500 expense workbooks", [velkit, "receipt-sort", "-c", str(configs["subject"])],
                [python, str(HERE / "receipt_sort_baseline.py"), str(configs["baseline"])], work, 5, 1.15,
                prepare=prepare)


if __name__ == "__main__":
    main()
