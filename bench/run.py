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

from sheet_tile_corpus import make_text_corpus, report_size_ratio

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


def removing(*paths):
    """A step before each run: the output the other side wrote goes, as the
    tools rightly refuse to replace a file they did not write."""
    def prepare(role):
        for path in paths:
            Path(path).unlink(missing_ok=True)
    return prepare


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


def make_flowpage_site(diagrams=20, documents=100):
    """20 Mermaid diagrams and 100 Markdown documents with code and tables, made once."""
    folder = DATA / "flowpage"
    marker = folder / ".complete"
    if marker.exists():
        return folder
    folder.mkdir(parents=True, exist_ok=True)
    for index in range(diagrams):
        steps = "\n".join(f"    S{index}_{k}[Step {k}] --> S{index}_{k + 1}[Step {k + 1}]" for k in range(6))
        (folder / f"flow_{index:02d}.mmd").write_text(f"flowchart TD\n{steps}\n", encoding="utf-8")
    rows = "\n".join(f"| sample {r} | {r * 1.5:.2f} | ok |" for r in range(30))
    for index in range(documents):
        text = (f"# Document {index}\n\n" + "Some *text* with `code` and a [link](index.html).\n\n" * 20 +
                "```python\nfor value in range(10):\n    print(value)\n```\n\n"
                f"| name | value | state |\n|---|---|---|\n{rows}\n")
        (folder / f"doc_{index:03d}.md").write_text(text, encoding="utf-8")
    marker.touch()
    return folder


def make_bench_pdfs(count=100, pages=4):
    """100 PDFs of 4 text-and-graphics pages each, in mixed sizes and
    rotations, made once and kept."""
    from io import BytesIO

    from fpdf import FPDF
    from pypdf import PdfReader, PdfWriter

    folder = DATA / "sheet_tile"
    marker = folder / ".complete"
    if marker.exists():
        return folder
    folder.mkdir(parents=True, exist_ok=True)
    formats = [("A4", "P"), ("A4", "L"), ("Letter", "P"), ((148, 210), "L")]
    for index in range(count):
        size, orientation = formats[index % len(formats)]
        pdf = FPDF(orientation=orientation, format=size)
        pdf.set_font("helvetica", size=10)
        for number in range(pages):
            pdf.add_page()
            pdf.set_fill_color(40 + index % 200, 90, 160)
            pdf.rect(10, 10, pdf.w - 20, 20, style="F")
            pdf.set_xy(10, 40)
            pdf.multi_cell(0, 5, f"Document {index}, page {number + 1}. " + "Measurement notes and values. " * 40)
            for bar in range(12):
                pdf.rect(15 + bar * 12, pdf.h - 20 - (bar * 7 + index) % 60, 8, (bar * 7 + index) % 60, style="F")
        writer = PdfWriter(clone_from=PdfReader(BytesIO(bytes(pdf.output()))))
        for number, page in enumerate(writer.pages):
            page.rotation = (index + number) % 4 * 90
        with open(folder / f"doc_{index:03d}.pdf", "wb") as out:
            writer.write(out)
    marker.touch()
    return folder


def time_plain_concatenation(qpdf, folder, work, repeats=3):
    """Median wall time of qpdf copying the same pages into one file."""
    inputs = sorted(str(p) for p in folder.glob("*.pdf"))
    times = [run_once([qpdf, "--empty", "--pages", *inputs, "--", str(Path(work) / "concat.pdf")], work)[0]
             for _ in range(repeats)]
    print(f"  plain concatenation of the same pages (qpdf): {statistics.median(times) * 1000:.0f} ms", flush=True)


def make_order_data(lines=100_000, matching=60_000):
    """A system export and a customer sheet of `lines` lines each, about
    60% of them matching on PO and quantity; made once and kept."""
    import csv
    import datetime
    import random

    import xlsxwriter

    folder = DATA / "order_match"
    marker = folder / ".complete"
    if marker.exists():
        return folder
    folder.mkdir(parents=True, exist_ok=True)
    rng = random.Random(7)
    start = datetime.date(2024, 1, 1)
    system_lines = []
    with open(folder / "system_data.csv", "w", encoding="utf-8", newline="") as f:
        writer = csv.writer(f)
        writer.writerow([f"Column {c}" for c in range(17)])
        for i in range(lines):
            po, qty = f"00{45000000 + i // 2}", 1 + i % 40
            rdd = start + datetime.timedelta(days=rng.randrange(365))
            system_lines.append((po, qty))
            writer.writerow(["1000", "TW01", "C-2207", "Northwind", "ZOR", "2023-12-11", "C-2207", po,
                             5100000 + i // 2, 10 * (1 + i % 2), "A" if i % 3 else "", qty, "PC", f"VK-{i % 977}",
                             "Part description", "SP01", rdd.isoformat()])
    book = xlsxwriter.Workbook(folder / "customer_data.xlsx", {"constant_memory": True})
    sheet = book.add_worksheet("Orders")
    date = book.add_format({"num_format": "yyyy-mm-dd"})
    sheet.write(0, 0, "Open purchase orders")
    sheet.write_row(1, 0, [f"Header {c}" for c in range(18)])
    for i in range(lines):
        po, qty = system_lines[i] if i < matching else (f"00{46000000 + i}", 1 + i % 40)
        row = i + 2
        sheet.write_row(row, 0, ["Velkit", "J. Chen", "NW-3", "2024-01-08", i + 1])
        sheet.write_string(row, 5, po)
        sheet.write_row(row, 6, [f"VK-{i % 977}", "see drawing", "C", "D-1", "RADAR", "CC-410", "EUR", 12.5])
        sheet.write_number(row, 14, float(qty))
        sheet.write_row(row, 15, ["PCS", "FCA"])
        sheet.write_datetime(row, 17, start + datetime.timedelta(days=rng.randrange(365)), date)
    book.close()
    marker.touch()
    return folder


def order_match_config(folder, work):
    config = {"config": {
        "system_data_path": str(folder / "system_data.csv"), "customer_data_path": str(folder / "customer_data.xlsx"),
        "output_dir": str(Path(work) / "order_match_out"),
        "system_data": {"po_cell": "H2", "so_cell": "I2", "so_pos_cell": "J2", "so_suffix_cell": "K2",
                        "qty_cell": "L2", "rdd_cell": "Q2"},
        "customer_data": {"po_cell": "F3", "qty_cell": "O3", "rdd_cell": "R3"},
    }}
    path = Path(work) / "bench_order_match.json"
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
        # Writes still pending from the copy (or from earlier benchmarks)
        # would otherwise be paid for by whichever side flushes to disk.
        os.sync()

    return configs, prepare


def bench_receipt_sort(work):
    configs, prepare = receipt_sort_rounds(work)
    compare("receipt-sort, 500 expense workbooks", [str(BIN / "vel-kit"), "receipt-sort", "-c", str(configs["subject"])],
            [sys.executable, str(HERE / "receipt_sort_baseline.py"), str(configs["baseline"])], work, 5, 1.15,
            prepare=prepare)


def bench_velutil_moves(work, count=500, size=40_000):
    """velutil's moves with backup against a plain script taking the same
    durable steps, each side on a fresh folder of the same files."""
    folders = {role: Path(work) / f"moves-{role}" for role in ("subject", "baseline")}

    def prepare(role):
        folder = folders[role]
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir()
        for index in range(count):
            (folder / f"file_{index:03d}.bin").write_bytes(os.urandom(size))
        os.sync()

    compare(f"velutil moves with backup, {count} files, against a plain script with the same flushes",
            [sys.executable, str(HERE / "velutil_moves.py"), "velutil", str(folders["subject"])],
            [sys.executable, str(HERE / "velutil_moves.py"), "plain", str(folders["baseline"])], work, 5, 1.1,
            prepare=prepare)


def bench_workbook_writer(work):
    """The same 1,000,000 cells through the C writer and the Python fallback."""
    script, book = str(HERE / "write_workbook.py"), str(Path(work) / "written.xlsx")
    compare("write_formatted_excel, 1,000,000 cells, libxlsxwriter vs the Python XlsxWriter",
            [sys.executable, script, book],
            ["env", "VELKIT_EXCEL_WRITER=python", sys.executable, script, book], work, 3, 0.4)


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
                [python, str(HERE / "picbook_baseline.py"), str(config)], work, 3, 1.15, 1.2,
                prepare=removing(images / "bench_report.pdf"))
        # mmdc takes about 2 s a diagram: one round of 20 diagrams each side.
        from flowpage_bench import compare_flowpage
        compare_flowpage(work)

        pdfs = make_bench_pdfs()
        tile_config = Path(work) / "bench_sheet_tile.json"
        tile_config.write_text(json.dumps({"config": {
            "input_folder": str(pdfs), "output_file": str(Path(work) / "tiled.pdf"),
            "layout": {"cols": 2, "rows": 2, "landscape": False}, "margin": 20}}), encoding="utf-8")
        compare("sheet-tile, 100 PDFs of 4 pages merged 2 x 2", [str(BIN / "sheet-tile"), "-c", str(tile_config)],
                [python, str(HERE / "sheet_tile_baseline.py"), str(tile_config)], work, 5, 1.1, 1.2,
                prepare=removing(Path(work) / "tiled.pdf"))
        compare("sheet-tile against a pikepdf script placing the same pages",
                [str(BIN / "sheet-tile"), "-c", str(tile_config)],
                [python, str(HERE / "sheet_tile_pikepdf.py"), str(tile_config)], work, 5, 0.8,
                prepare=removing(Path(work) / "tiled.pdf"))
        qpdf = shutil.which("qpdf")
        if qpdf:
            time_plain_concatenation(qpdf, pdfs, work)
        report_size_ratio([str(BIN / "sheet-tile")], make_text_corpus(DATA / "sheet_tile_text"), work)

        orders = order_match_config(make_order_data(), work)
        compare("order-match, 100,000 system lines against 100,000 customer lines",
                [velkit, "order-match", "-c", str(orders)],
                [python, str(HERE / "order_match_baseline.py"), str(orders)], work, 3, 0.15, 0.6,
                prepare=removing(*(Path(work) / "order_match_out" / name
                                   for name in ("result.xlsx", "unmatched.xlsx"))))
        # 40,000 lines on each side find no partner: the figures include writing them.
        if not (Path(work) / "order_match_out" / "unmatched.xlsx").exists():
            raise SystemExit("order-match wrote no unmatched.xlsx")
        bench_receipt_sort(work)
        bench_velutil_moves(work)
        bench_workbook_writer(work)


if __name__ == "__main__":
    main()
