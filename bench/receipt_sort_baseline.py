"""Baseline for the receipt-sort benchmark: a plain openpyxl script that
opens each workbook of a folder read-only, reads the two cells and moves the
file into "results" under the same kind of new name, with nothing around it."""
import json
import os
import sys
from datetime import datetime

from openpyxl import load_workbook


def main(config_path):
    with open(config_path, encoding="utf-8") as handle:
        data = json.load(handle)
    folder = data["config"]["path"]
    name_cell, amount_cell = data["excel_in"]["name_cell"], data["excel_in"]["amount_cell"]
    results = os.path.join(folder, "results")
    os.makedirs(results, exist_ok=True)
    for file_name in sorted(os.listdir(folder)):
        if not file_name.endswith(".xlsx"):
            continue
        path = os.path.join(folder, file_name)
        book = load_workbook(path, data_only=True, read_only=True)
        try:
            sheet = book.active
            name, amount = sheet[name_cell].value, sheet[amount_cell].value
        finally:
            book.close()
        stamp = datetime.now().strftime("%m%d_%H%M%S%f")[:-4]
        os.rename(path, os.path.join(results, f"{name}_{amount}_{stamp}.xlsx"))


if __name__ == "__main__":
    main(sys.argv[1])
