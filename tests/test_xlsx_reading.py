"""The workbook reader against openpyxl: sheets whose XML holds every kind of
cell, read through read_excel_by_cells and through openpyxl, agree."""
import datetime
import re
import zipfile
from xml.sax.saxutils import escape

import openpyxl
import pandas as pd
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from velutil import excelTools

SHEET = "xl/worksheets/sheet1.xml"
STRINGS = "xl/sharedStrings.xml"


def base_workbook(path):
    """A workbook with a shared strings part and a date style (s="1")."""
    book = openpyxl.Workbook()
    book.active["A1"] = "x"
    book.active["A2"] = datetime.datetime(2024, 1, 1)
    book.save(path)
    with zipfile.ZipFile(path) as archive:
        parts = {name: archive.read(name) for name in archive.namelist()}
    assert re.search(rb'<c r="A2" s="1"', parts[SHEET])
    return parts


def cell_xml(reference, kind, payload, strings):
    if kind == "shared":
        strings.append(payload)
        return f'<c r="{reference}" t="s"><v>{len(strings) - 1}</v></c>'
    if kind == "inline":
        # A stale <v> beside the inline text must not win.
        return f'<c r="{reference}" t="inlineStr"><v>stale</v><is><t xml:space="preserve">{escape(payload)}</t></is></c>'
    if kind == "number":
        return f'<c r="{reference}"><v>{payload!r}</v></c>'
    if kind == "serial-date":
        return f'<c r="{reference}" s="1"><v>{payload}</v></c>'
    if kind == "iso-date":
        return f'<c r="{reference}" t="d"><v>{payload}</v></c>'
    if kind == "error":
        return f'<c r="{reference}" t="e"><v>{payload}</v></c>'
    if kind == "bool":
        return f'<c r="{reference}" t="b"><v>{int(payload)}</v></c>'
    if kind == "formula":
        value = "" if payload is None else f"<v>{payload!r}</v>"
        return f'<c r="{reference}"><f>1+1</f>{value}</c>'
    if kind == "formula-text":
        return f'<c r="{reference}" t="str"><f>"a"&amp;"b"</f><v>{escape(payload)}</v></c>'
    raise AssertionError(kind)


def write_sheet(path, cells):
    """cells: [(kind, payload)], one per row of column B from row 2 on."""
    parts = base_workbook(path)
    strings = []
    rows = "".join(f'<row r="{n}">{cell_xml(f"B{n}", kind, payload, strings)}</row>'
                   for n, (kind, payload) in enumerate(cells, start=2))
    parts[SHEET] = re.sub(rb"<sheetData>.*</sheetData>|<sheetData\s*/>",
                          f"<sheetData>{rows}</sheetData>".encode(), parts[SHEET], flags=re.S)
    items = "".join(f'<si><t xml:space="preserve">{escape(text)}</t></si>' for text in strings)
    parts[STRINGS] = (f'<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                      f'count="{len(strings)}" uniqueCount="{len(strings)}">{items}</sst>').encode()
    types = parts["[Content_Types].xml"]
    if b"sharedStrings" not in types:
        # Listed among the content types only, as some writers do: no
        # relationship points to it.
        parts["[Content_Types].xml"] = types.replace(b"</Types>", (
            b'<Override PartName="/xl/sharedStrings.xml" '
            b'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>'))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in parts.items():
            archive.writestr(name, data)
    return path


def blank(value):
    return value is None or (isinstance(value, str) and value.strip(" \t\r\n") == "")


def as_openpyxl_reads(path):
    sheet = openpyxl.load_workbook(path, data_only=True).active
    return {cell.row: cell.value for row in sheet.iter_rows(min_col=2, max_col=2) for cell in row
            if cell.row >= 2 and not blank(cell.value)}


def as_we_read(path):
    df = excelTools.read_excel_by_cells(path, {"B": "B2"})
    values = {}
    for row, value in zip(df.index, df["B"].tolist()):
        if isinstance(value, pd.Timestamp):
            value = value.to_pydatetime()
        if not blank(value):
            values[row] = value
    return values


# openpyxl leaves "_xHHHH_" escapes as written (the README names this
# difference); they are tested on their own below.
ESCAPE = re.compile(r"_x[0-9A-Fa-f]{4}_")
TEXT = st.lists(st.sampled_from(list("ab _xX0D9F&<>\"'\r\n\tü€") + ["\r\n"]), min_size=1, max_size=12).map("".join).filter(
    lambda text: not ESCAPE.search(text))
CELLS = st.one_of(
    st.tuples(st.just("shared"), TEXT),
    st.tuples(st.just("inline"), TEXT),
    st.tuples(st.just("formula-text"), TEXT),
    st.tuples(st.just("number"), st.one_of(st.integers(-10**12, 10**12), st.floats(-1e9, 1e9, allow_nan=False))),
    st.tuples(st.just("serial-date"), st.integers(1, 60000)),
    st.tuples(st.just("iso-date"), st.datetimes(datetime.datetime(1901, 1, 1), datetime.datetime(2099, 12, 31))
              .map(lambda d: d.replace(microsecond=0).isoformat())),
    st.tuples(st.just("error"), st.sampled_from(["#N/A", "#DIV/0!", "#VALUE!", "#REF!"])),
    st.tuples(st.just("bool"), st.booleans()),
    st.tuples(st.just("formula"), st.one_of(st.none(), st.integers(-5, 5))),
)


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(cells=st.lists(CELLS, min_size=1, max_size=12))
def test_cells_read_equal_to_openpyxl(tmp_path, cells):
    path = write_sheet(tmp_path / "generated.xlsx", cells)
    assert as_we_read(path) == as_openpyxl_reads(path)


def test_inline_text_wins_escapes_are_decoded_and_line_ends_normalised(tmp_path):
    path = write_sheet(tmp_path / "w.xlsx", [("inline", "a_x000D_\r\nb"), ("iso-date", "2024-02-29T10:30:00"),
                                             ("formula", None), ("shared", "x_x005F_x0041_")])
    df = excelTools.read_excel_by_cells(path, {"B": "B2"})
    assert df["B"].tolist() == ["a\r\nb", datetime.datetime(2024, 2, 29, 10, 30), "x_x0041_"]


def test_zero_padded_numbers_read_as_shown(tmp_path):
    book = openpyxl.Workbook()
    book.active["B2"] = 45001234
    book.active["B2"].number_format = "0000000000"
    book.active["B3"] = 7
    book.save(tmp_path / "z.xlsx")
    df = excelTools.read_excel_by_cells(tmp_path / "z.xlsx", {"B": "B2"})
    assert df["B"].tolist() == ["0045001234", 7]


def test_damaged_xml_is_refused_naming_the_workbook(tmp_path):
    path = write_sheet(tmp_path / "bad.xlsx", [("number", 1)])
    with zipfile.ZipFile(path) as archive:
        parts = {name: archive.read(name) for name in archive.namelist()}
    parts[SHEET] = parts[SHEET].replace(b"</row>", b"", 1)
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in parts.items():
            archive.writestr(name, data)
    with pytest.raises(ValueError, match=r"Cannot read the workbook .*bad.xlsx.*XML is damaged \(line"):
        excelTools.read_excel_by_cells(path, {"B": "B2"})
