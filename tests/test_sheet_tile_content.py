"""What a sheet shows of its pages beyond their content: form values,
layers, annotations as a viewer draws them, links and bookmarks that lead
to the right sheet; and what happens to files that fail, need a password or
had to be repaired."""
import subprocess

import pytest
from pypdf import PdfReader, PdfWriter
from pypdf.generic import (ArrayObject, BooleanObject, DecodedStreamObject, DictionaryObject, FloatObject, NameObject,
                           NumberObject, TextStringObject)

from conftest import run_program
from sheet_tile_helpers import make_pdf, outline, qpdf_check, single_pages

A4 = (595, 842)


def tile(tmp_path, cols=2, rows=2, **conf):
    import json

    config = tmp_path / "c.json"
    config.write_text(json.dumps({"config": {"input_folder": "in", "output_file": "out.pdf",
                                             "layout": {"cols": cols, "rows": rows}, **conf}}), encoding="utf-8")
    result = run_program(["sheet-tile", "-c", str(config)], tmp_path)
    return tmp_path / "out.pdf", result


def sheet_text(path, page=1):
    return subprocess.run(["pdftotext", "-f", str(page), "-l", str(page), str(path), "-"], check=True,
                          capture_output=True, text=True).stdout


def names(**entries):
    return {NameObject(f"/{key}"): value for key, value in entries.items()}


def numbers(*values):
    return ArrayObject(FloatObject(v) for v in values)


def helvetica(writer):
    return writer._add_object(DictionaryObject(names(Type=NameObject("/Font"), Subtype=NameObject("/Type1"),
                                                     BaseFont=NameObject("/Helvetica"))))


def content(writer, page, operators, resources=None):
    stream = DecodedStreamObject()
    stream.set_data(operators.encode("latin-1"))
    page[NameObject("/Contents")] = writer._add_object(stream)
    page[NameObject("/Resources")] = DictionaryObject(resources or {})


def save(writer, path):
    path.parent.mkdir(parents=True, exist_ok=True)
    writer.write(path)
    return path


def filled_form(path):
    """Two text fields and a list box whose values have no appearance yet:
    the file asks the viewer to draw them (/NeedAppearances)."""
    writer = PdfWriter()
    page = writer.add_blank_page(*A4)
    font = helvetica(writer)
    fields = []
    for name, value, rect, kind in [("first", "Alice", (72, 700, 300, 730), "/Tx"),
                                    ("second", "Bob", (72, 650, 300, 680), "/Tx"),
                                    ("colour", "Gamma", (72, 520, 300, 620), "/Ch")]:
        field = DictionaryObject(names(Type=NameObject("/Annot"), Subtype=NameObject("/Widget"),
                                       FT=NameObject(kind), T=TextStringObject(name), V=TextStringObject(value),
                                       Rect=numbers(*rect), DA=TextStringObject("/Helv 12 Tf 0 g"),
                                       P=page.indirect_reference))
        if kind == "/Ch":
            field[NameObject("/Opt")] = ArrayObject(TextStringObject(o) for o in ("Alpha", "Beta", "Gamma"))
        fields.append(writer._add_object(field))
    page[NameObject("/Annots")] = ArrayObject(fields)
    writer._root_object[NameObject("/AcroForm")] = DictionaryObject(names(
        Fields=ArrayObject(fields), NeedAppearances=BooleanObject(True),
        DR=DictionaryObject(names(Font=DictionaryObject(names(Helv=font)))), DA=TextStringObject("/Helv 12 Tf 0 g")))
    return save(writer, path)


def layered(path):
    """Text on a layer that is off by default and on one that is on."""
    writer = PdfWriter()
    page = writer.add_blank_page(*A4)
    layers = {name: writer._add_object(DictionaryObject(names(Type=NameObject("/OCG"), Name=TextStringObject(name))))
              for name in ("Draft", "Final")}
    content(writer, page, "/OC /D BDC BT /F1 24 Tf 72 700 Td (draftnote) Tj ET EMC "
                          "/OC /V BDC BT /F1 24 Tf 72 600 Td (finaltext) Tj ET EMC",
            names(Font=DictionaryObject(names(F1=helvetica(writer))),
                  Properties=DictionaryObject(names(D=layers["Draft"], V=layers["Final"]))))
    writer._root_object[NameObject("/OCProperties")] = DictionaryObject(names(
        OCGs=ArrayObject(layers.values()), D=DictionaryObject(names(OFF=ArrayObject([layers["Draft"]])))))
    return save(writer, path)


def test_the_layer_panel_keeps_each_files_order_under_its_name(tmp_path):
    for name in ("a.pdf", "b.pdf"):
        path = layered(tmp_path / "in" / name)
        writer = PdfWriter(clone_from=path)
        properties = writer._root_object["/OCProperties"]
        draft, final = properties["/OCGs"]
        print_state = DictionaryObject(names(Event=NameObject("/Print"), OCGs=ArrayObject([draft]),
                                             Category=ArrayObject([NameObject("/Print")])))
        properties["/D"].update(names(Order=ArrayObject([final, ArrayObject([TextStringObject("Notes"), draft])]),
                                      RBGroups=ArrayObject([ArrayObject([draft, final])]),
                                      AS=ArrayObject([print_state])))
        save(writer, path)
    out, result = tile(tmp_path)
    assert result.returncode == 0, result.stderr
    view = PdfReader(out).trailer["/Root"]["/OCProperties"]["/D"]
    layer = lambda item: item.get_object()["/Name"]
    shown = [[entry[0], layer(entry[1]), [entry[2][0], layer(entry[2][1])]] for entry in view["/Order"]]
    assert shown == [["a.pdf", "Final", ["Notes", "Draft"]], ["b.pdf", "Final", ["Notes", "Draft"]]]
    assert [[layer(g) for g in group] for group in view["/RBGroups"]] == [["Draft", "Final"]] * 2
    assert [(s["/Event"], [layer(g) for g in s["/OCGs"]]) for s in view["/AS"]] == [("/Print", ["Draft"])] * 2
    assert [layer(g) for g in view["/OFF"]] == ["Draft", "Draft"]
    qpdf_check(out)


def test_form_values_are_drawn_and_the_form_flattened(tmp_path):
    filled_form(tmp_path / "in" / "form.pdf")
    out, result = tile(tmp_path, 1, 1)
    assert result.returncode == 0, result.stderr
    text = sheet_text(out)
    for value in ("Alice", "Bob", "Gamma"):
        assert value in text
    report = PdfReader(out)
    assert "/AcroForm" not in report.trailer["/Root"]
    assert all(a.get_object()["/Subtype"] != "/Widget" for a in report.pages[0].get("/Annots", []))
    qpdf_check(out)


def test_hidden_layer_stays_hidden_and_visible_layer_shows(tmp_path):
    layered(tmp_path / "in" / "layers.pdf")
    single_pages(tmp_path / "in", ["plain.pdf"])
    out, result = tile(tmp_path)
    assert result.returncode == 0, result.stderr
    text = sheet_text(out)
    assert "finaltext" in text and "draftnote" not in text
    properties = PdfReader(out).trailer["/Root"]["/OCProperties"]
    assert [g.get_object()["/Name"] for g in properties["/D"]["/OFF"]] == ["Draft"]
    qpdf_check(out)


def annotated(path, rotate=0):
    """A page with a free-text note without appearance, a highlight whose
    /Rect lies off the page but whose QuadPoints are on it, a note off the
    page, and a link with a 1-point border."""
    writer = PdfWriter(clone_from=make_pdf(path, [(*A4, None)], rotate=rotate))
    page = writer.pages[0]
    annotations = [
        DictionaryObject(names(Type=NameObject("/Annot"), Subtype=NameObject("/FreeText"),
                               Rect=numbers(100, 600, 400, 650), Contents=TextStringObject("turned note"),
                               DA=TextStringObject("/Helv 20 Tf 0 0 1 rg"))),
        DictionaryObject(names(Type=NameObject("/Annot"), Subtype=NameObject("/Highlight"),
                               Rect=numbers(700, 900, 800, 920),
                               QuadPoints=numbers(100, 420, 200, 420, 100, 400, 200, 400))),
        DictionaryObject(names(Type=NameObject("/Annot"), Subtype=NameObject("/Text"),
                               Rect=numbers(2000, 2000, 2020, 2020))),
        DictionaryObject(names(Type=NameObject("/Annot"), Subtype=NameObject("/Link"),
                               Rect=numbers(100, 100, 200, 120), Border=ArrayObject([NumberObject(0), NumberObject(0),
                                                                                     NumberObject(1)]),
                               A=DictionaryObject(names(S=NameObject("/URI"),
                                                        URI=TextStringObject("https://example.org/"))))),
    ]
    page[NameObject("/Annots")] = ArrayObject(writer._add_object(a) for a in annotations)
    return save(writer, path)


@pytest.mark.parametrize("rotate", [0, 90])
def test_annotations_look_as_on_the_page(tmp_path, rotate):
    annotated(tmp_path / "in" / "a.pdf", rotate)
    out, result = tile(tmp_path)
    assert result.returncode == 0, result.stderr
    annots = {a.get_object()["/Subtype"]: a.get_object() for a in PdfReader(out).pages[0]["/Annots"]}
    assert sorted(annots) == ["/FreeText", "/Highlight", "/Link"]
    left_out = [line for line in result.stderr.splitlines() if "left out" in line]
    assert left_out == ["WARNING SheetTile: a.pdf: page 1: a Text annotation was left out: it lies outside the page"]

    scale = 277.5 / (842 if rotate else 595) * 0.95
    note = annots["/FreeText"]
    # Its own appearance now, turned with the page; its size scaled for
    # viewers that draw it themselves.
    a, b, c, d = [float(v) for v in note["/AP"]["/N"]["/Matrix"]][:4]
    assert (round(a), round(b), round(c), round(d)) == ((1, 0, 0, 1) if rotate == 0 else (0, -1, 1, 0))
    font, size, tf, *colour = note["/DA"].split()
    assert (font, float(size), tf, colour) == ("/Helv", pytest.approx(20 * scale, abs=1e-4), "Tf", ["0", "0", "1", "rg"])
    assert "turned note" in sheet_text(out)
    assert float(annots["/Link"]["/Border"][2]) == pytest.approx(scale, abs=1e-4)
    qpdf_check(out)


def test_a_no_rotate_note_stays_upright_on_a_turned_page(tmp_path):
    writer = PdfWriter(clone_from=make_pdf(tmp_path / "in" / "a.pdf", [(*A4, None)], rotate=90))
    # Both printable (4); the second also NoRotate (16).
    notes = [DictionaryObject(names(Type=NameObject("/Annot"), Subtype=NameObject("/Text"),
                                    Rect=numbers(100, 500, 120, 540), F=NumberObject(flags),
                                    Contents=TextStringObject(str(flags))))
             for flags in (4, 4 | 16)]
    writer.pages[0][NameObject("/Annots")] = ArrayObject(writer._add_object(note) for note in notes)
    save(writer, tmp_path / "in" / "a.pdf")
    out, result = tile(tmp_path)
    assert result.returncode == 0, result.stderr
    rects = {str(a.get_object()["/Contents"]): [float(v) for v in a.get_object()["/Rect"]]
             for a in PdfReader(out).pages[0]["/Annots"]}
    turned, upright = rects["4"], rects["20"]
    width, height = lambda r: r[2] - r[0], lambda r: r[3] - r[1]
    # The plain note turns with the page: 20 x 40 becomes 40 x 20 (scaled).
    assert width(turned) / height(turned) == pytest.approx(2, rel=1e-3)
    assert width(upright) / height(upright) == pytest.approx(0.5, rel=1e-3)
    assert (width(upright), height(upright)) == pytest.approx((height(turned), width(turned)), rel=1e-3)
    # Turned clockwise, the upper-left corner lands at the turned note's
    # upper-right corner; the upright one hangs from it.
    assert (upright[0], upright[3]) == pytest.approx((turned[2], turned[3]), abs=1e-3)


def test_an_appearance_shared_by_pages_turned_otherwise_turns_for_each(tmp_path):
    writer = PdfWriter(clone_from=make_pdf(tmp_path / "in" / "a.pdf", [(*A4, None)] * 3))
    shared = DecodedStreamObject()
    shared.set_data(b"0 0 1 rg 0 0 20 10 re f")
    shared.update(names(Type=NameObject("/XObject"), Subtype=NameObject("/Form"), BBox=numbers(0, 0, 20, 10)))
    appearance = writer._add_object(shared)
    for index, turn in enumerate((0, 90, 270)):
        writer.pages[index][NameObject("/Rotate")] = NumberObject(turn)
        note = DictionaryObject(names(Type=NameObject("/Annot"), Subtype=NameObject("/Square"),
                                      Rect=numbers(100, 500, 120, 510), Contents=TextStringObject(str(turn)),
                                      AP=DictionaryObject(names(N=appearance))))
        writer.pages[index][NameObject("/Annots")] = ArrayObject([writer._add_object(note)])
    save(writer, tmp_path / "in" / "a.pdf")
    out, result = tile(tmp_path, cols=3, rows=1)
    assert result.returncode == 0, result.stderr
    turns = {}
    for annotation in PdfReader(out).pages[0]["/Annots"]:
        note = annotation.get_object()
        matrix = note["/AP"]["/N"].get_object().get("/Matrix", [1, 0, 0, 1])
        turns[str(note["/Contents"])] = [round(float(v)) for v in matrix][:4]
    assert turns == {"0": [1, 0, 0, 1], "90": [0, -1, 1, 0], "270": [0, 1, -1, 0]}
    qpdf_check(out)


def named_links(path):
    """Three pages; links on page 1 to a name in the /Names tree and to one
    in the catalog's /Dests, both on page 3."""
    writer = PdfWriter(clone_from=make_pdf(path, [(*A4, (0.9, 0.9, 0.9))] * 3))
    third = writer.pages[2].indirect_reference
    writer.add_named_destination_array(TextStringObject("in-tree"),
                                       ArrayObject([third, NameObject("/XYZ"), NumberObject(0), NumberObject(842),
                                                    NumberObject(0)]))
    writer._root_object[NameObject("/Dests")] = DictionaryObject(names(
        catalog=ArrayObject([third, NameObject("/Fit")])))
    links = [DictionaryObject(names(Type=NameObject("/Annot"), Subtype=NameObject("/Link"), Rect=numbers(*rect),
                                    Dest=target))
             for rect, target in [((50, 50, 150, 80), TextStringObject("in-tree")),
                                  ((50, 100, 150, 130), NameObject("/catalog"))]]
    writer.pages[0][NameObject("/Annots")] = ArrayObject(writer._add_object(link) for link in links)
    return save(writer, path)


def test_named_destinations_from_both_places_land_on_their_sheet(tmp_path):
    named_links(tmp_path / "in" / "a.pdf")
    out, result = tile(tmp_path, 2, 1)
    assert result.returncode == 0, result.stderr
    report = PdfReader(out)
    links = [a.get_object() for a in report.pages[0]["/Annots"]]
    assert len(links) == 2
    assert [report.get_page_number(link["/Dest"][0].get_object()) for link in links] == [1, 1]


def outlined(path, pages=4):
    """A file with bookmarks "Part 1" (page 1) holding "Section 1.1" (page
    2), "Part 2" (page 4) and "Website" (a web link)."""
    writer = PdfWriter(clone_from=make_pdf(path, [(*A4, (0.8, 0.8, 0.8))] * pages))
    part = writer.add_outline_item(title="Part 1", page_number=0)
    writer.add_outline_item(title="Section 1.1", page_number=1, parent=part)
    writer.add_outline_item(title="Part 2", page_number=3)
    web = writer.add_outline_item(title="Website", page_number=0).get_object()
    web.pop("/Dest", None)
    web[NameObject("/A")] = DictionaryObject(names(S=NameObject("/URI"), URI=TextStringObject("https://example.org/")))
    return save(writer, path)


def raw_outline(item):
    """(title, destination page object or the action's URI, children) of an
    outline item and those after it, read from the objects themselves."""
    items = []
    while item is not None:
        item = item.get_object()
        target = item["/Dest"][0].get_object() if "/Dest" in item else item["/A"]["/URI"]
        items.append((item["/Title"], target, raw_outline(item.get("/First"))))
        item = item.get("/Next")
    return items


def test_source_bookmarks_nest_under_their_file_and_land_on_the_right_sheet(tmp_path):
    single_pages(tmp_path / "in", ["a.pdf"])
    outlined(tmp_path / "in" / "b.pdf")
    out, result = tile(tmp_path, 2, 1)
    assert result.returncode == 0, result.stderr
    report = PdfReader(out)
    sheets = [page.indirect_reference.idnum for page in report.pages]

    def shown(items):
        return [(title, sheets.index(target.indirect_reference.idnum) if hasattr(target, "indirect_reference")
                 else target, shown(kids)) for title, target, kids in items]

    # a.pdf, then b.pdf with its own bookmarks: b's pages 1..4 sit in cells
    # 2..5, so on sheets 1, 2, 2, 3.
    assert shown(raw_outline(report.trailer["/Root"]["/Outlines"]["/First"])) == [
        ("a.pdf", 0, []),
        ("b.pdf", 0, [("Part 1", 0, [("Section 1.1", 1, [])]), ("Part 2", 2, []),
                      ("Website", "https://example.org/", [])])]
    qpdf_check(out)


def test_a_file_failing_on_its_third_page_leaves_nothing_behind(tmp_path):
    single_pages(tmp_path / "in", ["a.pdf", "c.pdf"])
    writer = PdfWriter(clone_from=outlined(tmp_path / "in" / "b.pdf"))
    writer.pages[2][NameObject("/MediaBox")] = ArrayObject([NumberObject(0), NumberObject(0), NameObject("/A4")])
    save(writer, tmp_path / "in" / "b.pdf")
    out, result = tile(tmp_path, 1, 1)
    assert result.returncode == 0  # the report holds the others
    assert "ERROR SheetTile: Failed b.pdf: the file is damaged: page 3 has no media box of four numbers" in result.stderr
    assert outline(out) == [("a.pdf", 0), ("c.pdf", 1)]
    assert len(PdfReader(out).pages) == 2
    qpdf_check(out)


def test_pages_without_area_are_left_out_with_a_warning(tmp_path):
    writer = PdfWriter(clone_from=make_pdf(tmp_path / "in" / "a.pdf", [(*A4, (0, 0, 1))] * 3))
    writer.pages[1][NameObject("/MediaBox")] = numbers(0, 0, 595, 0)
    save(writer, tmp_path / "in" / "a.pdf")
    out, result = tile(tmp_path, 1, 1)
    assert "WARNING SheetTile: a.pdf: page 2 has no area (its media box is empty) and was left out" in result.stderr
    assert len(PdfReader(out).pages) == 2


def locked(path, password):
    writer = PdfWriter(clone_from=make_pdf(path, [(*A4, (0, 0, 1))]))
    writer.encrypt(user_password=password, owner_password="owner-" + password, algorithm="AES-256")
    return save(writer, path)


@pytest.mark.parametrize("passwords, failed", [
    ({"b.pdf": "bee", "c.pdf": "sea"}, []),
    ("bee", ["c.pdf: the password does not open it"]),
    ({"b.pdf": "wrong"}, ["b.pdf: the password does not open it",
                          "c.pdf: the file is password-protected (a password is needed to open it)"]),
], ids=["per-file", "one-for-all", "wrong-and-missing"])
def test_passwords_open_protected_files(tmp_path, passwords, failed):
    single_pages(tmp_path / "in", ["a.pdf"])
    locked(tmp_path / "in" / "b.pdf", "bee")
    locked(tmp_path / "in" / "c.pdf", "sea")
    out, result = tile(tmp_path, passwords=passwords)
    errors = [line.split("Failed ", 1)[1] for line in result.stderr.splitlines() if "Failed " in line]
    assert errors == failed
    assert [title for title, _ in outline(out)] == [n for n in ("a.pdf", "b.pdf", "c.pdf")
                                                   if not any(e.startswith(n) for e in failed)]
    assert "bee" not in result.stderr and "sea" not in result.stderr


@pytest.mark.parametrize("value", [["bee"], {"b.pdf": 1}])
def test_passwords_of_the_wrong_kind_are_refused_without_showing_them(tmp_path, value):
    single_pages(tmp_path / "in", ["a.pdf"])
    _, result = tile(tmp_path, passwords=value)
    assert result.returncode == 1
    assert "'config.passwords' must be a text" in result.stderr and "bee" not in result.stderr


def test_damaged_file_that_can_be_repaired_is_merged_with_a_warning(tmp_path):
    source = make_pdf(tmp_path / "src.pdf", [(*A4, (0, 1, 0))] * 2)
    data = source.read_bytes()
    # The cross-reference table points nowhere: viewers rebuild it.
    start = data.rindex(b"startxref")
    (tmp_path / "in").mkdir()
    (tmp_path / "in" / "b.pdf").write_bytes(data[:start] + b"startxref\n999999\n%%EOF\n")
    out, result = tile(tmp_path)
    assert result.returncode == 0, result.stderr
    assert "WARNING SheetTile: b.pdf: the file is damaged and was repaired: " in result.stderr
    assert len(PdfReader(out).pages) == 1 and outline(out) == [("b.pdf", 0)]
