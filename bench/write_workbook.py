"""One workbook of 100,000 rows x 10 columns (text, identifiers, whole
numbers, decimals, dates, missing values) through write_formatted_excel,
with the writer that VELKIT_EXCEL_WRITER selects."""
import sys

import numpy as np
import pandas as pd

from velutil import excelTools


def table(rows=100_000):
    rng = np.random.default_rng(7)
    numbers = np.arange(rows)
    prices = rng.random(rows) * 100
    prices[::7] = np.nan
    return pd.DataFrame({
        "PO": [f"00{45000000 + i // 2}" for i in range(rows)],
        "SO": 5100000 + numbers // 2,
        "SO_POS": 10 * (1 + numbers % 2),
        "SUFFIX": np.where(numbers % 3 == 0, None, "A"),
        "QTY": 1 + numbers % 40,
        "PRICE": prices,
        "RDD": pd.Timestamp("2024-01-01") + pd.to_timedelta(numbers % 365, unit="D"),
        "NOTE": [f"VK-{i % 977} part description" for i in range(rows)],
        "SERIAL": 1234567890123456 + numbers,
        "DAY": [f"2024-{1 + i % 12:02d}-15" for i in range(rows)],
    })


if __name__ == "__main__":
    if not excelTools.write_formatted_excel(sys.argv[1], {"data": table()}):
        raise SystemExit(1)
