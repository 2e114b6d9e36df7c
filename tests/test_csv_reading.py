"""The CSV reader against Python's csv module, and on exports as they come."""
import csv
import io

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from velutil import excelTools

# Pieces that put quotes, delimiters and line breaks in odd places.
PIECES = ["a", "Rohr 12", "ü", " ", ",", ";", '"', '""', "\n", "\r\n", "\r", "\t", "1,5"]


def python_records(text, delimiter):
    return list(csv.reader(io.StringIO(text, newline=""), dialect="excel", delimiter=delimiter))


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(pieces=st.lists(st.sampled_from(PIECES), max_size=40), delimiter=st.sampled_from([",", ";"]))
def test_records_equal_the_csv_module(tmp_path, pieces, delimiter):
    text = "".join(pieces)
    path = tmp_path / "generated.csv"
    path.write_bytes(text.encode("utf-8"))
    records, unclosed = excelTools.csv_records(path, delimiter)
    expected = python_records(text, delimiter)
    if not unclosed:
        assert records == expected
        return
    # A quote still open at the end of the text: the csv module reads the
    # rest of the text as one field; up to that record both agree, and the
    # reader goes on with the next line (see the README).
    first = unclosed[0] - 1
    assert records[:first] == expected[:first]
    assert len(records) >= len(expected)


def test_an_inch_mark_does_not_swallow_the_export(tmp_path):
    lines = ["PO,TEXT,QTY"] + [f'45{n:06d},Rohr 12" verzinkt,{n % 7 + 1}' for n in range(1000)]
    path = tmp_path / "export.csv"
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")
    df = excelTools.read_csv_by_cells(path, {"PO": "A2", "TEXT": "B2", "QTY": "C2"})
    assert len(df) == 1000 and df["TEXT"].iloc[-1] == 'Rohr 12" verzinkt'
    assert df.attrs["problems"] == []


def test_an_unclosed_quote_costs_its_line_and_is_named(tmp_path):
    path = tmp_path / "export.csv"
    path.write_text('PO,QTY\n1,2\n2,"3\n3,4\n', encoding="utf-8")
    df = excelTools.read_csv_by_cells(path, {"PO": "A2", "QTY": "B2"})
    assert df["PO"].tolist() == [1, 2, 3]
    assert df.attrs["problems"] == ["row 3: a quote opens a field that is never closed; read with the quotes as written"]


SEMICOLON_EXPORT = (
    "PO;Beschreibung;Menge;Preis\n"
    "4500001;Rohr, verzinkt, 12 mm;1.000;2,5\n"
    "4500002;Mutter, M8;2,5;1,25\n"
    "4500003;Schraube, M8, DIN 933, 50 Stk;10;0,5\n"
)


@pytest.mark.parametrize(
    "content, settings, expected",
    [
        pytest.param(SEMICOLON_EXPORT.encode(), {}, ([4500001, 4500002, 4500003], [1000, 2.5, 10], ";"), id="sniffed-semicolon"),
        pytest.param(SEMICOLON_EXPORT.encode("utf-16"), {}, ([4500001, 4500002, 4500003], [1000, 2.5, 10], ";"), id="utf16-bom"),
        pytest.param(
            SEMICOLON_EXPORT.replace(";", "|").encode(), {"delimiter": "|", "decimal": ","},
            ([4500001, 4500002, 4500003], [1000, 2.5, 10], "|"), id="settings",
        ),
        pytest.param(
            b"PO,TEXT,QTY\n1,x,2.5\n2,y,3\n", {"decimal": "."}, ([1, 2], [2.5, 3], ","), id="decimal-point",
        ),
    ],
)
def test_delimiters_decimals_and_encodings(tmp_path, content, settings, expected):
    path = tmp_path / "export.csv"
    path.write_bytes(content)
    df = excelTools.read_csv_by_cells(path, {"PO": "A2", "QTY": "C2"}, **settings)
    pos, quantities, delimiter = expected
    assert df["PO"].tolist() == pos
    assert df["QTY"].tolist() == quantities
    assert df.attrs["delimiter"] == delimiter


def test_nearly_utf8_keeps_its_utf8_and_names_the_rows(tmp_path):
    path = tmp_path / "export.csv"
    path.write_bytes("PO,NAME\n1,Müller\n2,K\xf6ln\n3,Stück\n".encode("utf-8").replace(b"\xc3\xb6", b"\xf6"))
    df = excelTools.read_csv_by_cells(path, {"PO": "A2", "NAME": "B2"})
    assert df["NAME"].tolist() == ["Müller", "Köln", "Stück"]
    assert df.attrs["encoding"] == "utf-8"
    assert df.attrs["problems"] == ["row 3: bytes that are not UTF-8 are read as Windows-1252"]


@pytest.mark.parametrize(
    "settings, message",
    [
        ({"delimiter": ";;"}, "delimiter must be one character"),
        ({"encoding": "latin-9"}, "encoding must be"),
        ({"decimal": ";"}, "decimal must be"),
    ],
)
def test_unusable_settings_are_refused(tmp_path, settings, message):
    path = tmp_path / "export.csv"
    path.write_text("PO\n1\n", encoding="utf-8")
    with pytest.raises(ValueError, match=message):
        excelTools.read_csv_by_cells(path, {"PO": "A2"}, **settings)
