"""The receipt-sort benchmark of run.py on its own:
.venv/bin/python bench/receipt_sort_bench.py"""
import tempfile

from run import bench_receipt_sort

if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as work:
        bench_receipt_sort(work)
