"""velutil.excelTools: reading by cell reference, the exact-match join, formatted workbooks."""
import datetime
import os
import pathlib
import tempfile
import zipfile

import openpyxl
import pandas as pd
import pytest

from velutil import excelTools


def write_workbook(path, rows, sheet="Orders", hidden_first=False):
    """rows: {(row, column): value}, one-based like the sheet shows them."""
    book = openpyxl.Workbook()
    if hidden_first:
        book.active.title = "Notes"
        book.active.sheet_state = "hidden"
        ws = book.create_sheet(sheet)
    else:
        ws = book.active
        ws.title = sheet
    for (row, column), value in rows.items():
        ws.cell(row=row, column=column, value=value)
    book.save(path)
    return path


class TestReadCsvByCells:
    def test_rows_above_the_reference_are_headers_and_blank_rows_are_left_out(self, tmp_path):
        path = tmp_path / "orders.csv"
        path.write_text(
            "Order export 2024\n"
            "Name,PO,QTY,RDD\n"
            "x,0045001234,10,2024-01-15\n"
            ",,,\n"
            "only a name,,,\n"
            "y,0045001235,5,not a date\n",
            encoding="utf-8",
        )
        df = excelTools.read_csv_by_cells(str(path), {"PO": "B3", "QTY": "C3", "RDD": "D3"})
        assert list(df.columns) == ["PO", "QTY", "RDD"]
        assert df["PO"].tolist() == ["0045001234", "0045001235"]
        assert df["QTY"].tolist() == [10, 5] and df["QTY"].dtype == "int64"
        assert df["RDD"].tolist() == ["2024-01-15", "not a date"]

    def test_byte_order_mark_semicolons_quotes_and_number_columns(self, tmp_path):
        path = tmp_path / "orders.csv"
        path.write_bytes('\ufeffPO;QTY;NOTE\n"45001234";"2,5";"a;b"\n45001235;;"Müller"\n'.encode("utf-8"))
        df = excelTools.read_csv_by_cells(path, {"PO": "A2", "QTY": "B2", "NOTE": "C2"})
        assert df["PO"].tolist() == [45001234, 45001235]
        assert df["QTY"].iloc[0] == 2.5 and pd.isna(df["QTY"].iloc[1])  # ";" files write decimal commas
        assert df["NOTE"].tolist() == ["a;b", "Müller"]

    def test_decimals_with_gaps_are_floats(self, tmp_path):
        path = tmp_path / "q.csv"
        path.write_text("Q\n10\n\n2.5\n7\n", encoding="utf-8")
        df = excelTools.read_csv_by_cells(path, {"Q": "A2", "R": "B2"})
        assert df["Q"].tolist() == [10.0, 2.5, 7.0]
        assert df["R"].isna().all()

    def test_text_that_is_not_utf8_is_read_as_windows_1252(self, tmp_path):
        path = tmp_path / "latin1.csv"
        path.write_bytes("PO,Name\n1,Müller \x80\n".encode("latin-1"))
        df = excelTools.read_csv_by_cells(path, {"PO": "A2", "Name": "B2"})
        assert df["Name"].tolist() == ["Müller €"] and df.attrs["encoding"] == "cp1252"

    @pytest.mark.parametrize("reference", ["2H", "H", "", 7, "XFE1"])
    def test_invalid_reference_names_column_and_reference(self, tmp_path, reference):
        path = tmp_path / "a.csv"
        path.write_text("a\n", encoding="utf-8")
        with pytest.raises(ValueError, match="Invalid cell reference .* for column 'PO'"):
            excelTools.read_csv_by_cells(path, {"PO": reference})

    def test_missing_file_is_named(self, tmp_path):
        with pytest.raises(ValueError, match="none.csv"):
            excelTools.read_csv_by_cells(tmp_path / "none.csv", {"PO": "A2"})


class TestReadExcelByCells:
    def test_values_keep_their_cell_types(self, tmp_path):
        path = write_workbook(
            tmp_path / "c.xlsx",
            {
                (1, 1): "Customer sheet",
                (2, 3): "PO", (2, 4): "QTY", (2, 5): "RDD",
                (3, 3): "0045001234", (3, 4): 10.0, (3, 5): datetime.datetime(2024, 1, 20),
                (5, 3): "0045001235", (5, 4): 3, (5, 5): "TBD",
                (6, 3): "   ",
            },
            hidden_first=True,
        )
        df = excelTools.read_excel_by_cells(str(path), {"PO": "C3", "QTY": "D3", "RDD": "E3"})
        assert df["PO"].tolist() == ["0045001234", "0045001235"]
        assert df["QTY"].tolist() == [10.0, 3]
        assert df["RDD"].iloc[1] == "TBD"
        assert pd.Timestamp(df["RDD"].iloc[0]) == pd.Timestamp(2024, 1, 20)

    def test_reference_left_of_the_used_area_and_empty_sheet(self, tmp_path):
        path = write_workbook(tmp_path / "c.xlsx", {(3, 4): "x"})
        df = excelTools.read_excel_by_cells(path, {"A": "A3", "D": "D3"})
        assert df["A"].isna().all() and df["D"].tolist() == ["x"]
        empty = excelTools.read_excel_by_cells(write_workbook(tmp_path / "e.xlsx", {}), {"PO": "F3"})
        assert empty.empty and list(empty.columns) == ["PO"]

    def test_a_file_that_is_no_workbook_is_named(self, tmp_path):
        path = tmp_path / "fake.xlsx"
        path.write_text("PO,QTY\n", encoding="utf-8")
        with pytest.raises(ValueError, match="Cannot read the workbook '.*fake.xlsx'"):
            excelTools.read_excel_by_cells(path, {"PO": "A2"})


class TestMergeExactMatch:
    def merge(self, left, right, how="inner"):
        return excelTools.merge_exact_match(
            df_left=pd.DataFrame(left), df_right=pd.DataFrame(right), num_keys=["PO", "QTY"], how=how,
            suffixes=("_SYS", "_CUST"),
        )

    def test_keys_compare_normalised_and_values_stay_as_read(self):
        result = self.merge(
            {"PO": ["0045", " 0046 ", "0047", "48"], "QTY": [10, 5, 1, 2], "RDD": ["a", "b", "c", "d"]},
            {"PO": ["0045", "0046", 47, 48.0], "QTY": [10.0, "5", 1, 2], "RDD": ["w", "x", "y", "z"]},
        )
        # "0047" and 47 differ: a leading zero is part of an identifier.
        assert result["PO"].tolist() == ["0045", " 0046 ", "48"]
        assert result["QTY"].tolist() == [10, 5, 2]
        assert list(result.columns) == ["PO", "QTY", "RDD_SYS", "RDD_CUST"]
        assert result["RDD_CUST"].tolist() == ["w", "x", "z"]

    def test_every_pair_counts_in_left_order(self):
        result = self.merge(
            {"PO": ["A", "B", "A"], "QTY": [1, 1, 1], "SO": [1, 2, 3]},
            {"PO": ["A", "A"], "QTY": [1, 1], "N": ["x", "y"]},
        )
        assert list(zip(result["SO"], result["N"])) == [(1, "x"), (1, "y"), (3, "x"), (3, "y")]

    def test_blank_and_missing_keys_match_nothing(self):
        result = self.merge(
            {"PO": ["", None, "  ", float("nan")], "QTY": [1, 1, 1, 1]},
            {"PO": ["", None, "  ", float("nan")], "QTY": [1, 1, 1, 1]},
        )
        assert result.empty and list(result.columns) == ["PO", "QTY"]

    def test_outer_join_keeps_both_sides_with_their_keys(self):
        result = self.merge({"PO": ["A", "B"], "QTY": [1, 2]}, {"PO": ["A", "C"], "QTY": [1, 3], "N": ["x", "z"]},
                            how="outer")
        assert result["PO"].tolist() == ["A", "B", "C"]
        assert result["QTY"].tolist() == [1, 2, 3]
        assert result["N"].iloc[0] == "x" and pd.isna(result["N"].iloc[1])

    def test_a_missing_key_column_is_named(self):
        with pytest.raises(ValueError, match="'QTY' is missing from df_right"):
            self.merge({"PO": [1], "QTY": [1]}, {"PO": [1]})


class TestWriteFormattedExcel:
    def test_blocks_side_by_side_bold_frozen_header_fitted_widths(self, tmp_path):
        table = pd.DataFrame({"PO": ["0045001234", "1"], "QTY": [10, 2.5], "WHEN": [pd.Timestamp(2024, 1, 5), pd.NaT]})
        summary = pd.DataFrame({"24-Jan": [10, 0]}, index=["SYS_RDD", "CUS_RDD"])
        path = tmp_path / "out.xlsx"
        ok = excelTools.write_formatted_excel(str(path), {
            "byPO": [{"df": table, "index": False, "startcol": 0}, {"df": summary, "index": True, "startcol": 5}],
            "plain": table,
        })
        assert ok is True
        book = openpyxl.load_workbook(path)
        assert book.sheetnames == ["byPO", "plain"]
        ws = book["byPO"]
        assert [c.value for c in ws[1]][:3] == ["PO", "QTY", "WHEN"]
        assert ws["F1"].value is None and ws["G1"].value == "24-Jan"
        assert (ws["F2"].value, ws["G2"].value, ws["F3"].value, ws["G3"].value) == ("SYS_RDD", 10, "CUS_RDD", 0)
        assert ws["A2"].value == "0045001234" and ws["B3"].value == 2.5
        assert ws["C2"].value == datetime.datetime(2024, 1, 5) and ws["C3"].value is None
        assert ws["A1"].font.b and ws["G1"].font.b
        assert ws.freeze_panes == "A2" and book["plain"].freeze_panes == "A2"
        assert ws.column_dimensions["A"].width > ws.column_dimensions["B"].width

    def test_failed_write_keeps_the_earlier_workbook_and_logs_why(self, tmp_path, capsys):
        path = tmp_path / "out.xlsx"
        assert excelTools.write_formatted_excel(path, {"a": pd.DataFrame({"x": [1]})})
        before = path.read_bytes()
        assert excelTools.write_formatted_excel(path, {"n" * 40: pd.DataFrame({"x": [2]})}) is False
        assert path.read_bytes() == before
        assert "Cannot write the workbook" in capsys.readouterr().err
        assert excelTools.write_formatted_excel(tmp_path / "no" / "dir.xlsx", {"a": pd.DataFrame()}) is False

    def test_overlapping_blocks_are_refused(self, tmp_path, capsys):
        frame = pd.DataFrame({"a": [1], "b": [2]})
        blocks = [{"df": frame, "startcol": 0}, {"df": frame, "startcol": 1}]
        assert excelTools.write_formatted_excel(tmp_path / "o.xlsx", {"s": blocks}) is False
        assert "overlap" in capsys.readouterr().err
        assert not (tmp_path / "o.xlsx").exists()


class TestReadingRows:
    def test_csv_rows_are_numbered_as_the_file_shows_them(self, tmp_path):
        path = tmp_path / "orders.csv"
        path.write_text("sep=;\nPO;QTY\nA;1.000\n;\nB;12345678901234567890\nC;2,5\n", encoding="utf-8")
        df = excelTools.read_csv_by_cells(path, {"PO": "A2", "QTY": "B2"})
        assert df.index.tolist() == [2, 4, 5]  # the "sep=" line is no row
        # One value that is no number leaves the others numbers.
        assert df["QTY"].tolist() == [1000, "12345678901234567890", 2.5]
        assert df.attrs["delimiter"] == ";"

    def test_workbook_cells_by_type(self, tmp_path):
        book = openpyxl.Workbook()
        ws = book.active
        ws.title = "Orders"
        ws["A1"] = "PO"
        ws["A2"], ws["B2"], ws["C2"] = "0045", 10, datetime.date(2024, 3, 5)
        ws["A3"], ws["B3"], ws["C3"] = "=1+1", "#N/A", 45356
        ws["A4"], ws["B4"], ws["C4"] = True, 2.5, "05.03.2024"
        ws["A3"].value = "#DIV/0!"
        book.save(tmp_path / "c.xlsx")
        df = excelTools.read_excel_by_cells(tmp_path / "c.xlsx", {"PO": "A2", "QTY": "B2", "RDD": "C2"})
        assert df.index.tolist() == [2, 3, 4] and df.attrs["sheet"] == "Orders"
        assert df["PO"].tolist() == ["0045", "#DIV/0!", True]
        assert df["QTY"].tolist() == [10, "#N/A", 2.5]
        assert df["RDD"].tolist() == [datetime.datetime(2024, 3, 5), 45356, "05.03.2024"]

    def test_sheet_by_name_and_number(self, tmp_path):
        book = openpyxl.Workbook()
        book.active["A2"] = "first"
        book.create_sheet("Second")["A2"] = "second"
        book.save(tmp_path / "c.xlsx")
        assert excelTools.read_excel_by_cells(tmp_path / "c.xlsx", {"X": "A2"}, sheet_name="Second")["X"].tolist() == [
            "second"]
        assert excelTools.read_excel_by_cells(tmp_path / "c.xlsx", {"X": "A2"}, sheet_name=1)["X"].tolist() == ["second"]
        with pytest.raises(ValueError, match="Cannot read the workbook .*: it has no sheet named 'Third'"):
            excelTools.read_excel_by_cells(tmp_path / "c.xlsx", {"X": "A2"}, sheet_name="Third")


MEMORY_PROBE = """
import resource, sys
import pandas
from velutil import excelTools
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
df = excelTools.read_excel_by_cells(sys.argv[1], {"PO": "A2", "QTY": "B2"})
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(df["PO"].tolist(), (after - before) // 1024)
"""


@pytest.mark.parametrize("stray", ["XFD100000", "Z1048576", "XFD1048576"])
def test_a_stray_far_cell_costs_no_memory(tmp_path, stray):
    import subprocess
    import sys

    book = openpyxl.Workbook()
    ws = book.active
    for row in (2, 3, 4):
        ws.cell(row=row, column=1, value=f"P{row}")
        ws.cell(row=row, column=2, value=row)
    ws[stray] = "x"
    book.save(tmp_path / "stray.xlsx")
    assert (tmp_path / "stray.xlsx").stat().st_size < 10_000
    child = subprocess.run([sys.executable, "-c", MEMORY_PROBE, str(tmp_path / "stray.xlsx")], capture_output=True,
                           text=True, timeout=120, cwd=tmp_path)
    assert child.returncode == 0, child.stderr
    names, grown_mib = child.stdout.rsplit(" ", 1)
    assert names == "['P2', 'P3', 'P4']"
    assert int(grown_mib) < 100


REFUSAL_PROBE = """
import resource, sys
import pandas
from velutil import excelTools
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
try:
    excelTools.read_excel_by_cells(sys.argv[1], {"PO": "B3", "QTY": "C3"}, sheet_name=int(sys.argv[2]))
    print("read")
except ValueError as error:
    print(error)
print((resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) // 1024)
"""

ORDERS = {(0, 0): "Title", (1, 1): "PO", (2, 1): "P1", (2, 2): 10, (4, 1): "P2", (4, 2): 2.5}


def write_kind(kind, path, sheets):
    """sheets: [(name, {(row, column): value})]; a .xlsb gets the first only."""
    from binary_workbooks import write_ods_cells, write_xls, write_xlsb

    if kind == "xlsb":
        return write_xlsb(path, sheets[0][1], name=sheets[0][0])
    return (write_xls if kind == "xls" else write_ods_cells)(path, sheets)


class TestWorkbooksReadWhole:
    """.xls, .xlsb and .ods go to a reader that holds a sheet's whole used
    range: a stray far cell is refused before it costs memory (or aborts)."""

    @pytest.mark.parametrize("kind, far, sheet, spans", [
        ("xls", (65535, 255), 0, "A1:IV65536 (16777216 cells) for only 7 values"),
        # The .xls reader takes in every sheet on opening: a far cell on
        # another sheet costs as much as one on the sheet read.
        ("xls", (65535, 255), 1, "A1:IV65536"),
        ("xls", (40000, 30), 0, "A1:AE40001"),
        ("xlsb", (1048575, 16383), 0, "A1:XFD1048576 (17179869184 cells) for only 7 values"),
        ("xlsb", (2000, 1000), 0, "A1:ALM2001"),
        # An .ods sheet is a few bytes of repeated empty rows and cells, its
        # reader takes in every sheet on opening too.
        ("ods", (999999, 49), 0, "A1:AX1000000 (50000000 cells) for only 7 values"),
        ("ods", (1048575, 16383), 1, "A1:XFD1048576 (17179869184 cells)"),
    ], ids=["xls-corner", "xls-other-sheet", "xls-mid", "xlsb-corner", "xlsb-mid", "ods-far-row", "ods-other-sheet"])
    def test_a_stray_far_cell_is_refused_before_it_is_read(self, tmp_path, kind, far, sheet, spans):
        import subprocess
        import sys

        path = write_kind(kind, tmp_path / f"far.{kind}", [("Orders", {**ORDERS, far: "x"}), ("Notes", {(2, 1): "N1"})])
        assert path.stat().st_size < 10_000
        child = subprocess.run([sys.executable, "-c", REFUSAL_PROBE, str(path), str(sheet)], capture_output=True,
                               text=True, timeout=120, cwd=tmp_path)
        assert child.returncode == 0, child.stderr
        message, grown_mib = child.stdout.strip().rsplit("\n", 1)
        assert message.startswith(f"Cannot read the workbook '{path}': its sheet 'Orders' spans {spans}")
        assert message.endswith("delete the stray cells far from the data and save it again")
        assert int(grown_mib) < 100

    def test_ods_rows_of_empty_cells_held_on_the_way_are_refused(self, tmp_path):
        """Empty cells told apart by their formatting: the reader holds each
        row's cells up to its last cell element, whatever range it keeps."""
        import subprocess
        import sys

        from binary_workbooks import ods_row, write_ods_sheets

        rows = ods_row(["Title"]) + ods_row(["", "PO", "QTY"]) + ods_row(["", "P1", 10])
        path = write_ods_sheets(tmp_path / "held.ods", [("Orders", rows + ods_row([("", 16383), ""]) * 3000)])
        assert path.stat().st_size < 10_000
        child = subprocess.run([sys.executable, "-c", REFUSAL_PROBE, str(path), "0"], capture_output=True,
                               text=True, timeout=120, cwd=tmp_path)
        assert child.returncode == 0, child.stderr
        message, grown_mib = child.stdout.strip().rsplit("\n", 1)
        assert message == (f"Cannot read the workbook '{path}': its sheet 'Orders' writes out 49149002 empty cells "
                           "in its rows for only 5 values, too many to read; clear the empty cells beside the data "
                           "(their formatting too) and save it again")
        assert int(grown_mib) < 100

    @pytest.mark.parametrize("kind, end", [("xls", (65535, 14)), ("xlsb", (124999, 7)), ("ods", (124999, 7))])
    def test_a_sheet_with_its_data_together_is_read(self, tmp_path, kind, end):
        # A sheet reaching from A1 to a far row (up to a million positions)
        # is read, however little it holds.
        sheets = [("Orders", {**ORDERS, end: "end"})]
        if kind != "xlsb":
            sheets.insert(0, ("Notes", {(0, 0): "n"}))
        path = write_kind(kind, tmp_path / f"c.{kind}", sheets)
        df = excelTools.read_excel_by_cells(path, {"PO": "B3", "QTY": "C3"}, sheet_name="Orders")
        assert df["PO"].tolist() == ["P1", "P2"] and df["QTY"].tolist() == [10, 2.5]
        assert df.index.tolist() == [3, 5]

    def test_damaged_records_are_named(self, tmp_path):
        from binary_workbooks import biff8_stream, compound_file

        stream = biff8_stream([("Orders", ORDERS)])
        assert stream.endswith(b"\x0a\x00\x00\x00")
        # The sheet's last record claims more bytes than the stream has.
        path = tmp_path / "cut.xls"
        path.write_bytes(compound_file(stream[:-4] + b"\x03\x02\xff\xff"))
        with pytest.raises(ValueError, match=r"Cannot read the workbook '.*cut.xls': its records are damaged "
                                             r"\(a record of the workbook stream is cut short\)"):
            excelTools.read_excel_by_cells(path, {"PO": "B3"})

    @pytest.mark.parametrize("kind", ["xls", "xlsb", "ods"])
    @pytest.mark.parametrize("given", [os.fsencode, os.fsdecode, lambda name: pathlib.Path(os.fsdecode(name))],
                             ids=["bytes", "surrogates", "path"])
    def test_a_name_that_is_not_utf8_reads_like_any_other(self, tmp_path, monkeypatch, kind, given):
        monkeypatch.setattr(tempfile, "tempdir", str(tmp_path / "tmp"))
        (tmp_path / "tmp").mkdir()
        path = write_kind(kind, tmp_path / f"c.{kind}", [("Orders", ORDERS)])
        odd = os.path.join(os.fsencode(tmp_path), b"bad\xffname." + kind.encode())
        os.rename(path, odd)
        df = excelTools.read_excel_by_cells(given(odd), {"PO": "B3", "QTY": "C3"})
        assert df["PO"].tolist() == ["P1", "P2"] and df["QTY"].tolist() == [10, 2.5]
        assert os.listdir(tmp_path / "tmp") == []

    @pytest.mark.parametrize("name, reason", [
        (b"bad\xffname.ods", "Workbook is password protected"),
        (b"bad\xffname.xlsb", "File not found: 'xl/workbook.bin'"),
        (b"gone\xff.xlsb", "No such file or directory"),
    ], ids=["password", "damaged", "missing"])
    def test_a_name_that_is_not_utf8_is_shown_with_the_reason(self, tmp_path, monkeypatch, name, reason):
        from binary_workbooks import write_ods_sheets

        monkeypatch.setattr(tempfile, "tempdir", str(tmp_path / "tmp"))
        (tmp_path / "tmp").mkdir()
        monkeypatch.chdir(tmp_path)
        if name.endswith(b".ods"):
            write_ods_sheets(pathlib.Path(os.fsdecode(name)), [("Orders", "")], encrypted=True)
        elif name.startswith(b"bad"):
            with zipfile.ZipFile(os.fsdecode(name), "w") as archive:
                archive.writestr("notes.txt", "no workbook part")
        with pytest.raises(ValueError) as refusal:
            excelTools.read_excel_by_cells(name, {"PO": "B3"})
        shown = name.decode("utf-8", "backslashreplace")
        assert str(refusal.value) == f"Cannot read the workbook '{shown}': {reason}"
        assert os.listdir(tmp_path / "tmp") == []

    def test_damaged_ods_content_is_named(self, tmp_path):
        from binary_workbooks import write_ods_sheets

        path = write_ods_sheets(tmp_path / "cut.ods", [("Orders", "<table:table-row><table:table-cell>")])
        with pytest.raises(ValueError, match=r"Cannot read the workbook '.*cut.ods': its XML is damaged \(line 1: "):
            excelTools.read_excel_by_cells(path, {"PO": "B3"})

    def test_ods_rows_and_cells_repeated_empty_to_the_sheet_end_are_read(self, tmp_path):
        """Writers close every row with its empty cells up to the last column
        and every sheet with its empty rows up to the last row: a million
        rows of sixteen thousand cells that hold nothing."""
        from binary_workbooks import ods_row, write_ods_sheets

        rows = [ods_row(["Title", ("", 16383)]), ods_row(["", "PO", "QTY", ("", 16381)]),
                ods_row(["", "P1", 10, ("", 16381)]), ods_row([("", 16384)], repeated=3),
                ods_row(["", "P2", 2.5, ("", 16381)]), ods_row([("", 16384)], repeated=1048576 - 7)]
        path = write_ods_sheets(tmp_path / "c.ods", [("Orders", "".join(rows)), ("Empty", ods_row([("", 1024)], 1048576))])
        df = excelTools.read_excel_by_cells(path, {"PO": "B3", "QTY": "C3"})
        assert df["PO"].tolist() == ["P1", "P2"] and df["QTY"].tolist() == [10, 2.5]
        assert df.index.tolist() == [3, 7]


def column_letters(index):
    letters = ""
    index += 1
    while index:
        index, rest = divmod(index - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return letters


@pytest.mark.parametrize("seed", range(8))
def test_ods_ranges_agree_with_the_reader(tmp_path, seed):
    """Random .ods sheets (repeated and empty rows and cells, a far value):
    refused exactly when the range the reader itself finds is large and
    mostly empty, naming that range and the values it holds."""
    import random
    import re

    import python_calamine
    from binary_workbooks import ods_row, write_ods_sheets

    pick = random.Random(seed)
    rows = []
    for _ in range(pick.randint(1, 12)):
        if pick.random() < 0.3:
            rows.append(ods_row([("", pick.randint(1, 40))], repeated=pick.randint(1, 3000)))
            continue
        cells = []
        for _ in range(pick.randint(1, 6)):
            kind = pick.random()
            if kind < 0.4:
                cells.append(("", pick.randint(1, 30)))
            elif kind < 0.7:
                cells.append((pick.choice([0, 1.5, -7]), pick.randint(1, 4)))
            else:
                cells.append((pick.choice(["P1", "x y", "<&>"]), pick.randint(1, 3)))
        rows.append(ods_row(cells, repeated=pick.randint(1, 3)))
    rows.append(ods_row([("", 1)], repeated=pick.randint(30000, 40000)))
    rows.append(ods_row([("", pick.randint(50, 60)), "far", ("", 16000)]))
    rows.append(ods_row([("", 16384)], repeated=1000))
    path = write_ods_sheets(tmp_path / "r.ods", [("Orders", "".join(rows))])

    sheet = python_calamine.CalamineWorkbook.from_path(str(path)).get_sheet_by_name("Orders")
    (first_row, first_column), (last_row, last_column) = sheet.start, sheet.end
    values = sum(1 for row in sheet.to_python() for value in row if value != "")
    positions = (last_row - first_row + 1) * (last_column - first_column + 1)
    if positions <= 1_000_000 or values * 8 >= positions:
        excelTools.read_excel_by_cells(path, {"A": "A1"})
        return
    with pytest.raises(ValueError) as refusal:
        excelTools.read_excel_by_cells(path, {"A": "A1"})
    found = re.search(r"spans ([A-Z]+\d+):([A-Z]+\d+) \((\d+) cells\) for only (\d+) values?", str(refusal.value))
    assert found, str(refusal.value)
    assert found.group(1) == f"{column_letters(first_column)}{first_row + 1}"
    assert found.group(2) == f"{column_letters(last_column)}{last_row + 1}"
    assert (int(found.group(3)), int(found.group(4))) == (positions, values)
