"""Workbooks written byte by byte for the tests: nothing kept up today
writes the old binary kinds, and the .ods files are wanted exactly as
written (repeated rows and cells). A .xls is a compound file (512-byte
sectors: one FAT sector, one directory sector, then the "Workbook" stream)
holding BIFF8 records; a .xlsb is a zip of BIFF12 parts; a .ods a zip whose
content.xml holds the sheets."""
import struct
import zipfile
from xml.sax.saxutils import escape

END_OF_CHAIN = 0xFFFFFFFE
FREE = 0xFFFFFFFF
SECTOR = 512


def record(kind, data=b""):
    return struct.pack("<HH", kind, len(data)) + data


def biff8_cell(row, column, value):
    """A NUMBER or a LABEL record (0-based row and column)."""
    if isinstance(value, str):
        text = value.encode("utf-16-le")
        return record(0x0204, struct.pack("<HHHHB", row, column, 0, len(value), 1) + text)
    return record(0x0203, struct.pack("<HHHd", row, column, 0, float(value)))


def biff8_stream(sheets):
    """sheets: [(name, {(row, column): value})] with 0-based positions."""
    def bof(kind):
        return record(0x0809, struct.pack("<HHHHII", 0x0600, kind, 0, 1997, 0, 0x0600))

    bodies = []
    for _, cells in sheets:
        rows = [r for r, _ in cells] or [0]
        columns = [c for _, c in cells] or [0]
        dimensions = struct.pack("<IIHHH", min(rows), max(rows) + 1, min(columns), max(columns) + 1, 0)
        body = bof(0x0010) + record(0x0200, dimensions)
        body += b"".join(biff8_cell(r, c, v) for (r, c), v in sorted(cells.items()))
        bodies.append(body + record(0x000A))

    def bound_sheets(offsets):
        return b"".join(record(0x0085, struct.pack("<IBBBB", at, 0, 0, len(name), 1) + name.encode("utf-16-le"))
                        for at, (name, _) in zip(offsets, sheets))

    globals_size = len(bof(0x0005) + bound_sheets([0] * len(sheets)) + record(0x000A))
    offsets, at = [], globals_size
    for body in bodies:
        offsets.append(at)
        at += len(body)
    return bof(0x0005) + bound_sheets(offsets) + record(0x000A) + b"".join(bodies)


def compound_file(stream, name="Workbook"):
    """One stream in a version 3 compound file. The stream is padded to 4096
    bytes so that it lives in ordinary sectors, not the mini stream."""
    stream = stream.ljust(4096, b"\0")
    count = -(-len(stream) // SECTOR)
    assert count <= SECTOR // 4 - 2, "one FAT sector maps 126 sectors of stream"
    fat = [0xFFFFFFFD, END_OF_CHAIN] + [2 + i + 1 for i in range(count - 1)] + [END_OF_CHAIN]
    fat += [FREE] * (SECTOR // 4 - len(fat))
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
              + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6
              + struct.pack("<IIIIIIIII", 0, 1, 1, 0, 4096, END_OF_CHAIN, 0, END_OF_CHAIN, 0)
              + struct.pack("<I", 0) + struct.pack("<I", FREE) * 108)

    def entry(title, kind, child, start, size):
        encoded = (title + "\0").encode("utf-16-le") if title else b""
        return (encoded.ljust(64, b"\0") + struct.pack("<HBB", len(encoded), kind, 1)
                + struct.pack("<III", FREE, FREE, child) + b"\0" * 16 + struct.pack("<I", 0)
                + b"\0" * 16 + struct.pack("<IQ", start, size))

    directory = (entry("Root Entry", 5, 1, END_OF_CHAIN, 0) + entry(name, 2, FREE, 2, len(stream))
                 + entry("", 0, FREE, 0, 0) * 2)
    return header + struct.pack(f"<{len(fat)}I", *fat) + directory + stream.ljust(count * SECTOR, b"\0")


def write_xls(path, sheets):
    """sheets: [(name, {(row, column): value})], 0-based; returns path."""
    path.write_bytes(compound_file(biff8_stream(sheets)))
    return path


# BIFF12 (.xlsb): a record is its type and size as 7-bit groups, then data.
def _varint(value, most):
    out = bytearray()
    for _ in range(most):
        out.append((value & 0x7F) | (0x80 if value > 0x7F else 0))
        value >>= 7
        if value == 0:
            break
    return bytes(out)


def brt(kind, data=b""):
    return _varint(kind, 2) + _varint(len(data), 4) + data


def _wide(text):
    return struct.pack("<I", len(text)) + text.encode("utf-16-le")


def write_xlsb(path, cells, name="Orders"):
    """One worksheet; cells: {(row, column): number or text}, 0-based."""
    rows = [r for r, _ in cells] or [0]
    columns = [c for _, c in cells] or [0]
    sheet = brt(0x0081) + brt(0x0094, struct.pack("<IIII", min(rows), max(rows), min(columns), max(columns)))
    sheet += brt(0x0091)
    for row in sorted(set(rows)):
        sheet += brt(0x0000, struct.pack("<IIHBBI", row, 0, 0x0122, 0, 0, 0))
        for (r, c), value in sorted(cells.items()):
            if r != row:
                continue
            if isinstance(value, str):
                sheet += brt(0x0006, struct.pack("<II", c, 0) + _wide(value))
            else:
                sheet += brt(0x0005, struct.pack("<IId", c, 0, float(value)))
    sheet += brt(0x0092) + brt(0x0082)
    workbook = (brt(0x0083) + brt(0x008F)
                + brt(0x009C, struct.pack("<II", 0, 1) + _wide("rId1") + _wide(name))
                + brt(0x0090) + brt(0x0084))
    relationships = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
                     '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                     '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
                     'relationships/worksheet" Target="worksheets/sheet1.bin"/></Relationships>')
    package_relationships = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
                             '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                             '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
                             'relationships/officeDocument" Target="xl/workbook.bin"/></Relationships>')
    types = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
             '<Default Extension="bin" ContentType="application/vnd.ms-excel.sheet.binary.macroEnabled.main"/>'
             '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
             '</Types>')
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr("[Content_Types].xml", types)
        archive.writestr("_rels/.rels", package_relationships)
        archive.writestr("xl/workbook.bin", workbook)
        archive.writestr("xl/_rels/workbook.bin.rels", relationships)
        archive.writestr("xl/worksheets/sheet1.bin", sheet)
    return path


# OpenDocument (.ods)
def ods_cell(value, repeated=1):
    """One cell element: "" is empty, numbers are floats, the rest text."""
    repeat = f' table:number-columns-repeated="{repeated}"' if repeated != 1 else ""
    if value == "":
        return f"<table:table-cell{repeat}/>"
    if isinstance(value, (int, float)):
        return (f'<table:table-cell{repeat} office:value-type="float" office:value="{value}">'
                f"<text:p>{value}</text:p></table:table-cell>")
    return f'<table:table-cell{repeat} office:value-type="string"><text:p>{escape(value)}</text:p></table:table-cell>'


def ods_row(cells, repeated=1):
    """cells: values, or (value, repeated) pairs."""
    repeat = f' table:number-rows-repeated="{repeated}"' if repeated != 1 else ""
    body = "".join(ods_cell(*c) if isinstance(c, tuple) else ods_cell(c) for c in cells)
    return f"<table:table-row{repeat}>{body}</table:table-row>"


def write_ods_sheets(path, sheets, encrypted=False):
    """sheets: [(name, row elements as XML)]; returns path. `encrypted`
    marks the content encrypted in the manifest (it stays plain)."""
    tables = "".join(f'<table:table table:name="{escape(name)}">{rows}</table:table>' for name, rows in sheets)
    content = (
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
        'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
        'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
        f"<office:body><office:spreadsheet>{tables}</office:spreadsheet></office:body></office:document-content>")
    manifest = (
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">'
        '<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
        '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml">'
        + ('<manifest:encryption-data manifest:checksum-type="SHA1/1K" manifest:checksum="AAAA"/>' if encrypted else "")
        + "</manifest:file-entry></manifest:manifest>")
    with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet", compress_type=zipfile.ZIP_STORED)
        archive.writestr("content.xml", content)
        archive.writestr("META-INF/manifest.xml", manifest)
    return path


def write_ods(path, rows, tail="", name="Orders"):
    """One sheet: `rows` of texts and numbers from A1 on, then the raw row
    elements of `tail`; returns path."""
    return write_ods_sheets(path, [(name, "".join(ods_row(row) for row in rows) + tail)])


def ods_rows(cells):
    """Row elements for {(row, column): value} (0-based), the gaps between
    as repeated empty rows and cells, the way writers save them."""
    out, at = [], 0
    for row in sorted({r for r, _ in cells}):
        if row > at:
            out.append(ods_row([""], repeated=row - at))
        line, column = [], 0
        for (r, c), value in sorted(cells.items()):
            if r != row:
                continue
            if c > column:
                line.append(("", c - column))
            line.append(value)
            column = c + 1
        out.append(ods_row(line))
        at = row + 1
    return "".join(out)


def write_ods_cells(path, sheets):
    """sheets: [(name, {(row, column): value})], 0-based; returns path."""
    return write_ods_sheets(path, [(name, ods_rows(cells)) for name, cells in sheets])
