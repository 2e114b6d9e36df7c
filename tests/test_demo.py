"""`make demo` works on a copy of the examples: the clone stays as it was,
and a second run gives the same results."""
import re
import subprocess

import pytest

from conftest import REPO

pytestmark = pytest.mark.slow

# receipt-sort's new names carry the time of the move.
TIME_STAMP = re.compile(r"_\d{4}_\d{8}(?=(_\d+)?\.xlsx$)")


def git_status():
    return subprocess.run(["git", "status", "--porcelain", "--ignored=no"], cwd=REPO, capture_output=True,
                          text=True, check=True).stdout


def demo_results():
    out = REPO / "demo_out"
    return sorted(TIME_STAMP.sub("_TIME", str(path.relative_to(out))) for path in out.rglob("*")
                  if path.is_file() and ".flowpage-cache" not in path.parts)


@pytest.mark.skipif(not (REPO / ".git").exists(), reason="needs the repository's own checkout")
def test_demo_leaves_the_clone_clean_and_repeats_itself():
    before = git_status()
    results = []
    for _ in range(2):
        run = subprocess.run(["make", "-s", "demo"], cwd=REPO, capture_output=True, text=True)
        assert run.returncode == 0, run.stdout[-3000:] + run.stderr[-3000:]
        assert git_status() == before
        results.append(demo_results())
    assert results[0] == results[1]
    assert "examples/picbook/lab_report.pdf" in results[0]
    assert any(name.startswith("examples/receipt_sort/results/") for name in results[0])
