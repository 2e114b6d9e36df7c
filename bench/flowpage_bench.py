"""flowpage against a plain script that starts mmdc once per diagram
(flowpage_baseline.py), on 20 diagrams and 100 documents: the first run
into an empty folder, then a second run with nothing changed.

Part of bench/run.py; alone: .venv/bin/python bench/flowpage_bench.py
(with build/npm's mmdc on PATH, as `make bench` sets it)."""
import json
import shutil
import statistics
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from run import BIN, make_flowpage_site, run_once  # noqa: E402

FIRST_TARGET = 0.4
SECOND_TARGET = 0.1


def compare_flowpage(work, rounds=1):
    site = make_flowpage_site()
    times = {"baseline": [], "first": [], "second": []}
    for round_number in range(rounds):
        configs = {}
        for role in ("baseline", "subject"):
            output = Path(work) / f"site-{role}-{round_number}"
            shutil.rmtree(output, ignore_errors=True)
            configs[role] = Path(work) / f"flowpage-{role}-{round_number}.json"
            configs[role].write_text(json.dumps({"config": {"input_folder": str(site), "output_folder": str(output)}}))
        times["baseline"].append(run_once([sys.executable, str(HERE / "flowpage_baseline.py"), str(configs["baseline"])],
                                          work)[0])
        subject = [str(BIN / "vel-kit"), "flowpage", "-c", str(configs["subject"])]
        times["first"].append(run_once(subject, work)[0])
        times["second"].append(run_once(subject, work)[0])
    baseline = statistics.median(times["baseline"])
    for run, target in (("first", FIRST_TARGET), ("second", SECOND_TARGET)):
        seconds = statistics.median(times[run])
        print(f"flowpage site, 20 diagrams and 100 documents, {run} run: {seconds * 1000:.0f} ms vs "
              f"{baseline * 1000:.0f} ms (mmdc once per diagram), time ratio {seconds / baseline:.2f} "
              f"(target <= {target})", flush=True)


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as folder:
        compare_flowpage(folder, int(sys.argv[1]) if len(sys.argv) > 1 else 1)
