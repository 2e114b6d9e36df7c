"""order-match on data as real exports hold it: what the settings say about the
data, keys that look equal, and reasons that are true."""
import json

import openpyxl
import pytest

from conftest import run_program
from test_order_match import CELLS, customer_xlsx, read_sheet, system_csv


def run_with(tmp_path, system, customer, system_data=None, customer_data=None, **config):
    cells = {"system_data": {**CELLS["system_data"], **(system_data or {})},
             "customer_data": {**CELLS["customer_data"], **(customer_data or {})}}
    settings = {"system_data_path": str(system), "customer_data_path": str(customer),
                "output_dir": str(tmp_path / "out"), **cells, **config}
    path = tmp_path / "run.json"
    path.write_text(json.dumps({"config": settings}), encoding="utf-8")
    return run_program(["order-match", "-c", str(path)], cwd=tmp_path)


def matched_pos(tmp_path):
    return [row[0] for row in read_sheet(tmp_path / "out" / "result.xlsx", "byRDD_SYS")[1:]]


def semicolon_export(path, lines, encoding="utf-8"):
    """A German export: ';' between fields, decimal commas, commas in the texts."""
    text = "PO;SO;SO_POS;SO_SUFFIX;MENGE;TERMIN;TEXT\n" + "".join(
        f"{po};1;10;;{qty};{rdd};Rohr, verzinkt, 12 mm\n" for po, qty, rdd in lines)
    path.write_bytes(text.encode(encoding))
    return path


class TestReadingTheExport:
    @pytest.mark.parametrize("encoding", ["utf-8", "utf-16"])
    def test_a_semicolon_export_with_commas_is_split_on_semicolons(self, tmp_path, encoding):
        system = semicolon_export(tmp_path / "sys.csv", [("Ü-1", "2,5", "15.01.2024"), ("Ü-2", "1.000", "16.01.2024")],
                                  encoding)
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("Ü-1", 2.5, None), ("Ü-2", 1000, None)])
        result = run_with(tmp_path, system, customer)
        assert result.returncode == 0, result.stderr
        assert ("System data (sys.csv): fields are separated by ';' (the split most consistent over the first "
                "lines); the decimal mark is ','.") in result.stderr
        assert matched_pos(tmp_path) == ["Ü-1", "Ü-2"]

    def test_an_inch_mark_in_a_description_costs_nothing(self, tmp_path):
        lines = "".join(f'P{n},1,10,,{n},2024-01-15,Rohr 12" verzinkt\n' for n in range(1, 1001))
        system = tmp_path / "sys.csv"
        system.write_text("PO,SO,SO_POS,SO_SUFFIX,QTY,RDD,TEXT\n" + lines, encoding="utf-8")
        customer = customer_xlsx(tmp_path / "cus.xlsx", [(f"P{n}", n, None) for n in range(1, 1001)])
        result = run_with(tmp_path, system, customer)
        assert result.returncode == 0, result.stderr
        assert "Matched 1000 lines of the system export with 1000 lines" in result.stderr

    def test_a_stray_windows_byte_keeps_the_utf8_text(self, tmp_path):
        system = tmp_path / "sys.csv"
        system.write_bytes("PO,SO,SO_POS,SO_SUFFIX,QTY,RDD\nMüller-1,1,10,,5,\nK\xf6ln,1,10,,2,\n"
                           .encode("utf-8").replace("ö".encode(), b"\xf6"))
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("Müller-1", 5, None), ("Köln", 2, None)])
        result = run_with(tmp_path, system, customer)
        assert "System data (sys.csv): row 3: bytes that are not UTF-8 are read as Windows-1252." in result.stderr
        assert matched_pos(tmp_path) == ["Köln", "Müller-1"]


class TestSettings:
    def test_delimiter_encoding_and_decimal(self, tmp_path):
        system = tmp_path / "sys.csv"
        system.write_bytes("PO|SO|SO_POS|SO_SUFFIX|QTY|RDD\nSchön|1|10||2,5|\n".encode("cp1252"))
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("Schön", 2.5, None)])
        result = run_with(tmp_path, system, customer,
                          system_data={"delimiter": "|", "encoding": "windows-1252", "decimal": ","})
        assert result.returncode == 0, result.stderr
        assert "fields are separated by '|' (as the configuration says)" in result.stderr
        assert matched_pos(tmp_path) == ["Schön"]

    @pytest.mark.parametrize("sheet", ["Orders", 2], ids=["by-name", "by-number"])
    def test_sheet_after_a_cover_sheet(self, tmp_path, sheet):
        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 4, "")])
        book = openpyxl.Workbook()
        book.active.title = "Cover"
        orders = book.create_sheet("Orders")
        orders["B3"], orders["C3"] = "P1", 4
        book.save(tmp_path / "cus.xlsx")
        result = run_with(tmp_path, system, tmp_path / "cus.xlsx", customer_data={"sheet": sheet})
        assert result.returncode == 0, result.stderr
        assert matched_pos(tmp_path) == ["P1"]

    @pytest.mark.parametrize("order, expected", [("DMY", "2024-03-05"), ("MDY", "2024-05-03")])
    def test_date_order_overrides_the_guess(self, tmp_path, order, expected):
        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 4, "05/03/2024")])
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("P1", 4, "05/03/2024")])
        result = run_with(tmp_path, system, customer, system_data={"date_order": order},
                          customer_data={"date_order": order})
        assert "could be day first or month first" not in result.stderr
        row = read_sheet(tmp_path / "out" / "result.xlsx", "byRDD_SYS")[1]
        assert row[5].strftime("%Y-%m-%d") == expected and row[6].strftime("%Y-%m-%d") == expected

    def test_quantity_tolerance(self, tmp_path):
        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 0.30000000000000004, ""),
                                                    ("P2", 1, 10, "", 1.01, ""), ("P3", 1, 10, "", 5, "")])
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("P1", 0.3, None), ("P2", 1, None), ("P3", 5.2, None)])
        result = run_with(tmp_path, system, customer, qty_tolerance=0.01)
        assert result.returncode == 0, result.stderr
        assert matched_pos(tmp_path) == ["P1", "P2"]

    @pytest.mark.parametrize("pairing, rows", [("all", 4), ("one_to_one", 2)])
    def test_a_split_delivery(self, tmp_path, pairing, rows):
        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 5, ""), ("P1", 1, 20, "", 5, "")])
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("P1", 5, None), ("P1", 5, None)])
        result = run_with(tmp_path, system, customer, pairing=pairing)
        assert result.returncode == 0, result.stderr
        assert len(matched_pos(tmp_path)) == rows

    @pytest.mark.parametrize("where, key, value, message", [
        ("system_data", "delimiter", ";;", "'config.system_data.delimiter' must be one character"),
        ("system_data", "encoding", "latin-9", "'config.system_data.encoding' must be \"utf-8\""),
        ("system_data", "decimal", ";", "'config.system_data.decimal' must be \",\" or \".\""),
        ("customer_data", "sheet", 0, "'config.customer_data.sheet' must be a whole number of at least 1"),
        ("customer_data", "date_order", "DDMM", "'config.customer_data.date_order' must be \"DMY\""),
        ("config", "qty_tolerance", -1, "'config.qty_tolerance' must be a number of at least 0"),
        ("config", "pairing", "first", "'config.pairing' must be \"all\" or \"one_to_one\""),
    ])
    def test_unknown_values_are_refused_naming_the_key(self, tmp_path, where, key, value, message):
        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 4, "")])
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("P1", 4, None)])
        extra = {where: {key: value}} if where != "config" else {key: value}
        result = run_with(tmp_path, system, customer, **extra)
        assert result.returncode == 1 and message in result.stderr, result.stderr


class TestKeys:
    def test_keys_that_look_equal_match(self, tmp_path):
        system = system_csv(tmp_path / "sys.csv", [
            ("0045001234", 1, 10, "", 1, ""),
            ("4500\u00a0", 1, 10, "", 2, ""),        # trailing no-break space
            ("\u200b4501", 1, 10, "", 3, ""),        # zero-width space
            ("U\u0308-7", 1, 10, "", 4, ""),         # decomposed Ü
        ])
        book = openpyxl.Workbook()
        sheet = book.active
        for row, (po, qty) in enumerate([(45001234, 1), ("4500", 2), ("4501", 3), ("\u00dc-7", 4)], start=3):
            sheet.cell(row=row, column=2, value=po)
            sheet.cell(row=row, column=3, value=qty)
        sheet["B3"].number_format = "0000000000"  # shows 0045001234
        book.save(tmp_path / "cus.xlsx")
        result = run_with(tmp_path, system, tmp_path / "cus.xlsx")
        assert result.returncode == 0, result.stderr
        assert "Matched 4 lines of the system export with 4 lines" in result.stderr
        assert not (tmp_path / "out" / "unmatched.xlsx").exists()

    @pytest.mark.parametrize("quantity, reason", [
        ("#N/A", "PO found in the customer sheet, but its quantity is an error value: #N/A"),
        (None, "PO found in the customer sheet, but its quantity is missing"),
    ], ids=["error", "blank"])
    def test_the_reason_is_true_when_the_other_quantity_is_unusable(self, tmp_path, quantity, reason):
        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 4, ""), ("P2", 1, 10, "", 4, "")])
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("P1", quantity, None), ("P2", 4, None)])
        run_with(tmp_path, system, customer)
        rows = read_sheet(tmp_path / "out" / "unmatched.xlsx", "SYS_ONLY")[1:]
        assert [(r[1], r[-1]) for r in rows] == [("P1", reason)]
