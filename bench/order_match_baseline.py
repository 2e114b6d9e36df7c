"""Baseline for the order-match benchmark: the same work in plain pandas,
reading with read_csv and read_excel (openpyxl) and writing with to_excel
(openpyxl)."""
import json
import os
import sys

import pandas as pd


def main(config_path):
    with open(config_path, encoding="utf-8") as f:
        conf = json.load(f)["config"]
    system = pd.read_csv(conf["system_data_path"], header=None, skiprows=1, usecols=[7, 8, 9, 10, 11, 16],
                         names=["PO", "SO", "SO_POS", "SO_SUFFIX", "QTY", "RDD"], dtype={"PO": str})
    customer = pd.read_excel(conf["customer_data_path"], engine="openpyxl", header=None, skiprows=2,
                             usecols=[5, 14, 17], names=["PO", "QTY", "RDD"], dtype={"PO": str})
    for frame in (system, customer):
        frame["RDD"] = pd.to_datetime(frame["RDD"], errors="coerce", format="mixed").dt.strftime("%Y-%m-%d")
    result = system.merge(customer, on=["PO", "QTY"], how="inner", suffixes=("_SYS", "_CUST"))
    result = result.rename(columns={"RDD_SYS": "SYSTEM_RDD", "RDD_CUST": "CUSTOMER_RDD"})
    result = result.sort_values(["PO", "SO_POS", "QTY"])
    by_rdd = result.sort_values(["SYSTEM_RDD", "PO"])
    os.makedirs(conf["output_dir"], exist_ok=True)
    with pd.ExcelWriter(os.path.join(conf["output_dir"], "result.xlsx"), engine="openpyxl") as writer:
        result.to_excel(writer, sheet_name="byPO", index=False)
        by_rdd.to_excel(writer, sheet_name="byRDD_SYS", index=False)


if __name__ == "__main__":
    main(sys.argv[1])
