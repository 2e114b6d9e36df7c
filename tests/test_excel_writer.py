"""velutil.excelTools.write_formatted_excel: the C writer (libxlsxwriter) and
the Python fallback (XlsxWriter) give the same workbook, and bad input gives
False with the cause in the log."""
import datetime
import decimal
import locale
import os

import numpy as np
import openpyxl
import pandas as pd
import pytest

from velutil import excelTools

WRITERS = ["libxlsxwriter", "python"]


@pytest.fixture(params=WRITERS)
def writer(request, monkeypatch):
    if request.param == "python":
        monkeypatch.setenv("VELKIT_EXCEL_WRITER", "python")
    else:
        monkeypatch.delenv("VELKIT_EXCEL_WRITER", raising=False)
    return request.param


def orders():
    """Every kind of value order tables hold, missing values included."""
    return pd.DataFrame({
        "PO": ["0045001234", "ÄÖ-7", None, "日本語"],
        "QTY": [10, -3, 0, 999_999_999_999_999],
        "PRICE": [2.5, float("nan"), 1 / 3, -0.0],
        "SO_ID": [1234567890123456, 1, 2, 3],
        "RDD": pd.to_datetime(["2024-01-15", None, "2024-02-29 13:45:10", "1999-12-31"], format="ISO8601"),
        "RDD_S": pd.Series(pd.to_datetime(["2024-01-15", "2024-01-16", "2024-01-17", None])).astype("datetime64[s]"),
        "DAY": [datetime.date(2024, 1, 5), pd.NaT, None, datetime.date(1850, 5, 1)],
        "AT": [datetime.time(6, 30), None, datetime.time(23, 59, 59), None],
        "OK": [True, False, True, True],
        "MIXED": [7, "text", 2**70, decimal.Decimal("1.5")],
        "NULLABLE": pd.array([1, None, 3, None], dtype="Int64"),
        "NUMPY": pd.Series([np.int64(5), np.float32(0.5), np.bool_(True), pd.NA], dtype=object),
        "WIDE": pd.Series([1e300, float("inf"), 18446744073709551615, 4], dtype=object),
    })


def summary():
    frame = pd.DataFrame({"24-Jan": [10, 0], "24-Feb": [0, 7]}, index=["SYS_RDD", "CUS_RDD"])
    frame.index.name = "MONTH"
    return frame


def two_sheets():
    return {
        "byPO": [{"df": orders(), "index": False, "startcol": 0},
                 {"df": summary(), "index": True, "startcol": 15}],
        "plain": orders().iloc[:2],
        "awkward": pd.DataFrame({"_x0041_": ["a\x01b", "x\x00y", "_x0041_", "tab\there", "<&>\"", "=1+1", " "]}),
    }


def cells_of(path):
    """What a reader sees: per sheet, each cell's value, type, number format
    and boldness, the frozen pane and every column's width."""
    book = openpyxl.load_workbook(path)
    sheets = {}
    for ws in book.worksheets:
        cells = {cell.coordinate: (cell.value, cell.data_type, cell.number_format, cell.font.b)
                 for row in ws.iter_rows() for cell in row if cell.value is not None or cell.font.b}
        widths = {}
        for dimension in ws.column_dimensions.values():
            if dimension.width and dimension.min:
                for column in range(dimension.min, dimension.max + 1):
                    widths[column] = round(dimension.width, 2)
        sheets[ws.title] = {"cells": cells, "freeze": ws.freeze_panes, "widths": widths}
    return sheets


def test_both_writers_give_the_same_workbook(tmp_path, monkeypatch):
    monkeypatch.setenv("VELKIT_EXCEL_WRITER", "python")
    assert excelTools.write_formatted_excel(tmp_path / "python.xlsx", two_sheets())
    monkeypatch.delenv("VELKIT_EXCEL_WRITER")
    assert excelTools.write_formatted_excel(tmp_path / "c.xlsx", two_sheets())
    c_cells, python_cells = cells_of(tmp_path / "c.xlsx"), cells_of(tmp_path / "python.xlsx")
    assert list(c_cells) == ["byPO", "plain", "awkward"]
    for sheet in c_cells:
        assert c_cells[sheet]["freeze"] == python_cells[sheet]["freeze"] == "A2"
        assert c_cells[sheet]["widths"] == python_cells[sheet]["widths"]
        assert c_cells[sheet]["cells"] == python_cells[sheet]["cells"]


def test_values_types_and_formats(tmp_path, writer):
    path = tmp_path / "out.xlsx"
    assert excelTools.write_formatted_excel(path, two_sheets()) is True
    ws = openpyxl.load_workbook(path)["byPO"]
    rows = [[cell.value for cell in row] for row in ws.iter_rows(min_row=1, max_row=5, max_col=13)]
    assert rows[0] == ["PO", "QTY", "PRICE", "SO_ID", "RDD", "RDD_S", "DAY", "AT", "OK", "MIXED", "NULLABLE",
                       "NUMPY", "WIDE"]
    assert [row[0] for row in rows[1:]] == ["0045001234", "ÄÖ-7", None, "日本語"]
    assert [row[1] for row in rows[1:]] == [10, -3, 0, 999_999_999_999_999]
    assert rows[1][2] == 2.5 and rows[2][2] is None and rows[3][2] == pytest.approx(1 / 3)
    # 16 digits and more would lose digits as numbers.
    assert rows[1][3] == "1234567890123456" and rows[2][3] == 1
    assert [row[4] for row in rows[1:]] == [datetime.datetime(2024, 1, 15), None,
                                           datetime.datetime(2024, 2, 29, 13, 45, 10), datetime.datetime(1999, 12, 31)]
    assert [row[5] for row in rows[1:]] == [datetime.datetime(2024, 1, d) for d in (15, 16, 17)] + [None]
    # A sheet shows no day before 1900: such a date stays readable as text.
    assert [row[6] for row in rows[1:]] == [datetime.datetime(2024, 1, 5), None, None, "1850-05-01"]
    assert [row[7] for row in rows[1:]] == [datetime.time(6, 30), None, datetime.time(23, 59, 59), None]
    assert [row[8] for row in rows[1:]] == [True, False, True, True]
    assert [row[9] for row in rows[1:]] == [7, "text", str(2**70), "1.5"]
    assert [row[10] for row in rows[1:]] == [1, None, 3, None]
    assert [row[11] for row in rows[1:]] == [5, 0.5, True, None]
    assert [row[12] for row in rows[1:]] == [1e300, "inf", "18446744073709551615", 4]

    formats = {ws.cell(row=2, column=column).number_format for column in (5, 6, 7)}
    assert formats == {"yyyy-mm-dd"}
    assert ws["E4"].number_format == "yyyy-mm-dd hh:mm:ss" and ws["H2"].number_format == "hh:mm:ss"
    assert ws["B2"].number_format == "General" and ws["A2"].data_type == "s"


def test_blocks_header_and_widths(tmp_path, writer):
    path = tmp_path / "out.xlsx"
    assert excelTools.write_formatted_excel(path, two_sheets())
    book = openpyxl.load_workbook(path)
    ws = book["byPO"]
    assert [ws.cell(row=1, column=c).value for c in (14, 15, 16, 17, 18)] == [None, None, "MONTH", "24-Jan", "24-Feb"]
    assert [ws.cell(row=2, column=c).value for c in (16, 17, 18)] == ["SYS_RDD", 10, 0]
    assert [ws.cell(row=3, column=c).value for c in (16, 17, 18)] == ["CUS_RDD", 0, 7]
    assert ws.max_row == 5 and book["plain"].max_row == 3
    assert all(ws.cell(row=1, column=c).font.b for c in list(range(1, 14)) + [16, 17, 18])
    assert ws.freeze_panes == "A2" and book["plain"].freeze_panes == "A2"
    widths = cells_of(path)["byPO"]["widths"]
    # Content plus two (a reader adds 0.71): "0045001234", 16 digits as text,
    # a date-time, a date, a time, "FALSE"; numbers shown rounded take 11.
    expected = {1: 12.71, 3: 13.71, 4: 18.71, 5: 21.71, 6: 12.71, 8: 10.71, 9: 7.71}
    assert {column: widths[column] for column in expected} == expected
    assert 14 not in widths and 15 not in widths


def test_an_empty_table_gets_its_header(tmp_path, writer):
    path = tmp_path / "empty.xlsx"
    assert excelTools.write_formatted_excel(path, {"none": pd.DataFrame(columns=["PO", "QTY"]),
                                                   "nothing": pd.DataFrame()})
    book = openpyxl.load_workbook(path)
    assert [c.value for c in book["none"][1]] == ["PO", "QTY"] and book["none"].max_row == 1


@pytest.fixture
def comma_decimals():
    """A locale that writes 2.5 as "2,5", as a program embedding us may set."""
    before = locale.setlocale(locale.LC_ALL)
    try:
        locale.setlocale(locale.LC_ALL, "de_DE.UTF-8")
    except locale.Error:
        pytest.skip("no comma-decimal locale on this machine")
    yield
    locale.setlocale(locale.LC_ALL, before)


def test_numbers_ignore_the_locale(tmp_path, writer, comma_decimals):
    path = tmp_path / "out.xlsx"
    table = pd.DataFrame({"x": [2.5, 1 / 3], "when": pd.to_datetime(["2024-01-01 12:00", "2024-01-02 00:00"])})
    assert excelTools.write_formatted_excel(path, {"s": table})
    ws = openpyxl.load_workbook(path).active
    assert [ws["A2"].value, ws["A3"].value] == [2.5, 1 / 3]
    assert [ws["B2"].value, ws["B3"].value] == [datetime.datetime(2024, 1, 1, 12), datetime.datetime(2024, 1, 2)]
    assert ws.column_dimensions["B"].width == pytest.approx(21.71, abs=0.01)


def test_each_writer_says_once_which_it_is(tmp_path, monkeypatch, capsys):
    table = {"s": pd.DataFrame({"x": [1]})}
    monkeypatch.setenv("VELKIT_DEBUG", "1")
    assert excelTools.write_formatted_excel(tmp_path / "first.xlsx", table)
    capsys.readouterr()
    monkeypatch.setenv("VELKIT_EXCEL_WRITER", "python")
    assert excelTools.write_formatted_excel(tmp_path / "a.xlsx", table)
    assert "with the Python XlsxWriter" in capsys.readouterr().err
    monkeypatch.delenv("VELKIT_EXCEL_WRITER")
    assert excelTools.write_formatted_excel(tmp_path / "b.xlsx", table)
    assert "with libxlsxwriter" in capsys.readouterr().err, "built without libxlsxwriter"
    assert excelTools.write_formatted_excel(tmp_path / "c.xlsx", table)
    assert "Writing workbooks" not in capsys.readouterr().err


def blocks(**block):
    return {"s": [dict({"df": pd.DataFrame({"a": [1]})}, **block)]}


@pytest.mark.parametrize("sheets, cause", [
    pytest.param(blocks(startcol="a"), "\"startcol\" of a block of sheet 's' must be a whole number", id="startcol-text"),
    pytest.param(blocks(startcol=2.0), "from 0 to 16383 (got 2.0)", id="startcol-float"),
    pytest.param(blocks(startcol=-1), "(got -1)", id="startcol-negative"),
    pytest.param(blocks(startcol=True), "(got True)", id="startcol-bool"),
    pytest.param(blocks(startcol=16384), "(got 16384)", id="startcol-beyond-the-sheet"),
    pytest.param(blocks(startcol=10**30), "must be a whole number", id="startcol-huge"),
    pytest.param(blocks(startcol=None), "(got None)", id="startcol-none"),
    pytest.param(blocks(index="yes"), "\"index\" of a block of sheet 's' must be True or False", id="index-text"),
    pytest.param(blocks(startrow=3), "unknown key 'startrow'", id="unknown-key"),
    pytest.param({"s": [{"df": [1, 2]}]}, "a DataFrame under \"df\"", id="block-without-frame"),
    pytest.param({"s": {"a": [1]}}, "must be given a DataFrame or a list of blocks", id="dict-as-content"),
    pytest.param([("s", pd.DataFrame())], "dict of sheet name to content", id="sheets-not-a-dict"),
    pytest.param({}, "at least one sheet", id="no-sheets"),
    pytest.param({"a/b": pd.DataFrame()}, "contains one of the characters", id="sheet-name-slash"),
    pytest.param({"Data": pd.DataFrame(), "DATA": pd.DataFrame()}, "is used twice", id="sheet-name-twice"),
    pytest.param({"bad\udcffname": pd.DataFrame()}, "surrogates not allowed", id="sheet-name-not-utf8"),
    pytest.param({"s": pd.DataFrame({"a": ["x" * 32768]})}, "32768 characters", id="text-too-long"),
    pytest.param({"s": pd.DataFrame({"a": ["ok\udcff"]})}, "surrogates not allowed", id="text-not-utf8"),
    pytest.param({"s": [{"df": pd.DataFrame({"a": [1], "b": [2]}), "startcol": 16383}]},
                 "more columns than a sheet can hold", id="too-many-columns"),
])
def test_bad_input_is_false_with_its_cause(tmp_path, monkeypatch, writer, capsys, sheets, cause):
    (tmp_path / "out").mkdir()
    (tmp_path / "tmp").mkdir()
    monkeypatch.setenv("TMPDIR", str(tmp_path / "tmp"))
    assert excelTools.write_formatted_excel(tmp_path / "out" / "out.xlsx", sheets) is False
    error = capsys.readouterr().err
    assert "Cannot write the workbook" in error and cause in error
    assert os.listdir(tmp_path / "out") == [] and os.listdir(tmp_path / "tmp") == []


@pytest.mark.parametrize("path, cause", [
    pytest.param(None, "Cannot write the workbook 'None': expected str, bytes or os.PathLike", id="none"),
    pytest.param(12, "Cannot write the workbook '12'", id="number"),
    pytest.param("missing/out.xlsx", "No such file or directory", id="missing-folder"),
    pytest.param("missing/bad\udcffname.xlsx", "'missing/bad\\xffname.xlsx'", id="name-not-utf8"),
    pytest.param("taken", "Is a directory", id="a-folder"),
])
def test_unusable_paths_are_false_with_their_cause(tmp_path, monkeypatch, capsys, path, cause):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "taken").mkdir()
    assert excelTools.write_formatted_excel(path, {"s": pd.DataFrame({"a": [1]})}) is False
    assert cause in capsys.readouterr().err
    assert os.listdir(tmp_path) == ["taken"] and os.listdir(tmp_path / "taken") == []


def test_a_file_name_that_is_not_utf8_is_written_by_its_bytes(tmp_path, writer):
    assert excelTools.write_formatted_excel(tmp_path / "bad\udcffname.xlsx", {"s": pd.DataFrame({"a": [1]})})
    assert os.listdir(os.fsencode(tmp_path)) == [b"bad\xffname.xlsx"]
