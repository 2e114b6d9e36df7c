"""The sheet-tile size benchmark: a 200-page text corpus (20 files of 10
pages, as fpdf2 writes them: compressed, core font) merged 2 x 2, and the
output's size against the sum of its inputs."""
import json
import random
import subprocess
import sys
from pathlib import Path


def make_text_corpus(folder, files=20, pages=10, words=400):
    """The corpus, made once and kept."""
    from fpdf import FPDF

    marker = folder / ".complete"
    if marker.exists():
        return folder
    folder.mkdir(parents=True, exist_ok=True)
    for index in range(files):
        rng = random.Random(index)
        pdf = FPDF()
        pdf.set_font("helvetica", size=9)
        for _ in range(pages):
            pdf.add_page()
            pdf.multi_cell(0, 4, " ".join("".join(rng.choice("abcdefghijklmnopqrstuvwxyz")
                                                  for _ in range(rng.randint(2, 9))) for _ in range(words)))
        pdf.output(str(folder / f"text_{index:02d}.pdf"))
    marker.touch()
    return folder


def report_size_ratio(program, folder, work, target=1.3):
    """Runs sheet-tile on the corpus and prints the output/input size ratio;
    the same merge with the plain pypdf script is shown for comparison."""
    out = Path(work) / "corpus_tiled.pdf"
    config = Path(work) / "bench_sheet_tile_corpus.json"
    config.write_text(json.dumps({"config": {"input_folder": str(folder), "output_file": str(out),
                                             "layout": {"cols": 2, "rows": 2}, "margin": 20}}), encoding="utf-8")
    subprocess.run(program + ["-c", str(config)], check=True, capture_output=True)
    inputs = sum(p.stat().st_size for p in folder.glob("*.pdf"))
    subject = out.stat().st_size
    baseline_out = Path(work) / "corpus_baseline.pdf"
    config.write_text(json.dumps({"config": {"input_folder": str(folder), "output_file": str(baseline_out),
                                             "layout": {"cols": 2, "rows": 2}, "margin": 20}}), encoding="utf-8")
    subprocess.run(_baseline(config), check=True, capture_output=True)
    baseline = baseline_out.stat().st_size
    print(f"sheet-tile output size, 200 text pages merged 2 x 2: {subject / 1024:.0f} KiB from {inputs / 1024:.0f} KiB "
          f"of inputs, ratio {subject / inputs:.2f} (target <= {target}); plain pypdf script "
          f"{baseline / 1024:.0f} KiB, ratio {baseline / inputs:.2f}", flush=True)


def _baseline(config):
    return [sys.executable, str(Path(__file__).resolve().parent / "sheet_tile_baseline.py"), str(config)]
