"""What lands on the sheets: turned and empty-boxed pages, annotations that
move with their page, links that still lead where they did, no blank or
orphan pages, and an output about as small as its sources."""
import json

import pytest
from pypdf import PdfReader, PdfWriter
from pypdf.annotations import Highlight, Link
from pypdf.generic import (ArrayObject, DictionaryObject, FloatObject, NameObject, NullObject, NumberObject,
                           TextStringObject)

from conftest import run_program
from sheet_tile_helpers import make_pdf, outline, page_objects, qpdf_check, render, single_pages, text_pdf
from velkit import sheet_tile

TOP_RIGHT_CELL = (297.5, 421, 277.5, 401)  # slot 1 of A4 portrait, 2 x 2, margin 20


def merge(tmp_path, cols=2, rows=2, **conf):
    out = tmp_path / "out.pdf"
    config = {"input_folder": str(tmp_path / "in"), "output_file": str(out),
              "layout": {"cols": cols, "rows": rows}, **conf}
    tiler = sheet_tile.SheetTiler(config)
    tiler.run()
    return out, tiler


def shown_point(params, x, y):
    """Where a source point lands: turned clockwise by the page's /Rotate
    (0 or 90 here), scaled and moved as the layout parameters say."""
    u, v = x - params["x0"], y - params["y0"]
    if params["rot"] % 360 == 90:
        u, v = v, params["src_h"] - u
    return params["scale"] * u + params["tx"], params["scale"] * v + params["ty"]


def inside(rect, cell):
    x, y, w, h = cell
    return x <= rect[0] < rect[2] <= x + w and y <= rect[1] < rect[3] <= y + h


@pytest.mark.parametrize("odd, usual", [(-90, 270), (450, 90), (-180, 180)])
def test_rotate_counts_modulo_360(tmp_path, odd, usual):
    images = []
    for rotate in (odd, usual):
        make_pdf(tmp_path / "in" / "s.pdf", [(300, 500, None)], rotate=rotate)
        out, _ = merge(tmp_path, 1, 1)
        images.append(render(out, 1, tmp_path / f"r{rotate}").tobytes())
    assert images[0] == images[1]


def test_crop_box_without_area_shows_the_media_box(tmp_path, capsys):
    make_pdf(tmp_path / "in" / "a.pdf", [(595, 842, (0, 0, 1)), (595, 842, (0, 0, 1))], cropbox=(10, 10, 10, 400))
    out, _ = merge(tmp_path, 2, 1)
    image = render(out, 1, tmp_path / "p")
    assert image.getpixel((image.width // 4, image.height // 2)) == (0, 0, 255)
    assert image.getpixel((3 * image.width // 4, image.height // 2)) == (0, 0, 255)
    assert "WARNING SheetTile: a.pdf: page 2 has a crop box without area; its media box is shown instead" in \
        capsys.readouterr().err


def broken_first_page(path, pages=1):
    """A PDF that opens, but whose first page cannot be drawn."""
    writer = PdfWriter()
    for _ in range(pages):
        writer.add_blank_page(width=595, height=842)
    writer.pages[0][NameObject("/MediaBox")] = ArrayObject([NumberObject(0), NumberObject(0), NameObject("/A4")])
    path.parent.mkdir(parents=True, exist_ok=True)
    writer.write(path)


def test_file_failing_on_a_fresh_sheet_leaves_no_blank_sheet(tmp_path, capsys):
    single_pages(tmp_path / "in", ["a.pdf", "c.pdf"])
    broken_first_page(tmp_path / "in" / "b.pdf")
    out, tiler = merge(tmp_path, 1, 1)
    assert "ERROR SheetTile: Failed b.pdf: " in capsys.readouterr().err
    assert outline(out) == [("a.pdf", 0), ("c.pdf", 1)]
    for number in (1, 2):
        image = render(out, number, tmp_path / f"p{number}")
        assert image.getpixel((image.width // 2, image.height // 2)) != (255, 255, 255)
    assert len(PdfReader(out).pages) == 2
    qpdf_check(out)


def annotated_source(path, rotate=None):
    """One A4 page with an indirect and a direct highlight, an ink stroke,
    a note with its popup, and a note far outside the page."""
    writer = PdfWriter(clone_from=make_pdf(path, [(595, 842, None)], rotate=rotate))
    writer.add_annotation(0, Highlight(rect=(100, 700, 200, 720),
                                       quad_points=ArrayObject(FloatObject(v) for v in
                                                               (100, 720, 200, 720, 100, 700, 200, 700))))
    page = writer.pages[0]
    numbers = lambda *values: ArrayObject(FloatObject(v) for v in values)  # noqa: E731
    direct = DictionaryObject({NameObject("/Type"): NameObject("/Annot"), NameObject("/Subtype"): NameObject("/Highlight"),
                               NameObject("/Rect"): numbers(300, 100, 400, 120),
                               NameObject("/QuadPoints"): numbers(300, 120, 400, 120, 300, 100, 400, 100)})
    ink = DictionaryObject({NameObject("/Type"): NameObject("/Annot"), NameObject("/Subtype"): NameObject("/Ink"),
                            NameObject("/Rect"): numbers(50, 50, 150, 150),
                            NameObject("/InkList"): ArrayObject([numbers(50, 50, 150, 150)])})
    note = DictionaryObject({NameObject("/Type"): NameObject("/Annot"), NameObject("/Subtype"): NameObject("/Text"),
                             NameObject("/Rect"): numbers(500, 500, 520, 520),
                             NameObject("/Contents"): TextStringObject("a note")})
    popup = DictionaryObject({NameObject("/Type"): NameObject("/Annot"), NameObject("/Subtype"): NameObject("/Popup"),
                              NameObject("/Rect"): numbers(400, 400, 590, 480)})
    outside = DictionaryObject({NameObject("/Type"): NameObject("/Annot"), NameObject("/Subtype"): NameObject("/Text"),
                                NameObject("/Rect"): numbers(700, 100, 720, 120)})
    note_ref, popup_ref = writer._add_object(note), writer._add_object(popup)
    note[NameObject("/Popup")], popup[NameObject("/Parent")] = popup_ref, note_ref
    page[NameObject("/Annots")].extend([direct, ink, note_ref, popup_ref, writer._add_object(outside)])
    writer.write(path)
    return path


@pytest.mark.parametrize("rotate", [None, 90])
def test_annotations_move_with_their_page(tmp_path, rotate):
    single_pages(tmp_path / "in", ["a.pdf"])
    source = annotated_source(tmp_path / "in" / "b.pdf", rotate)
    out, tiler = merge(tmp_path)
    params = tiler._get_layout_params(PdfReader(source).pages[0], TOP_RIGHT_CELL)
    annots = [a.get_object() for a in PdfReader(out).pages[0]["/Annots"]]
    by_type = {}
    for annot in annots:
        by_type.setdefault(annot["/Subtype"], []).append(annot)
    assert sorted((k, len(v)) for k, v in by_type.items()) == [
        ("/Highlight", 2), ("/Ink", 1), ("/Popup", 1), ("/Text", 1)]  # the note outside the page is gone

    def expected_rect(x1, y1, x2, y2):
        (ax, ay), (bx, by) = shown_point(params, x1, y1), shown_point(params, x2, y2)
        return [min(ax, bx), min(ay, by), max(ax, bx), max(ay, by)]

    indirect, direct = by_type["/Highlight"]
    for annot, rect in ((indirect, (100, 700, 200, 720)), (direct, (300, 100, 400, 120))):
        assert [float(v) for v in annot["/Rect"]] == pytest.approx(expected_rect(*rect))
        assert inside([float(v) for v in annot["/Rect"]], TOP_RIGHT_CELL)
    assert [float(v) for v in direct["/QuadPoints"]][:2] == pytest.approx(shown_point(params, 300, 120))
    ink = by_type["/Ink"][0]
    assert [float(v) for v in ink["/InkList"][0]] == pytest.approx(
        [*shown_point(params, 50, 50), *shown_point(params, 150, 150)])
    note, popup = by_type["/Text"][0], by_type["/Popup"][0]
    assert note["/Popup"].get_object() == popup and popup["/Parent"].get_object() == note
    assert page_objects(out) == 1
    qpdf_check(out)


def linked_source(path):
    """Three pages; page 1 links to page 3 by a name, to page 2 by a GoTo
    action, to the web, and to a page that is not in the document."""
    writer = PdfWriter(clone_from=make_pdf(path, [(595, 842, (0.9, 0.9, 0.9))] * 3))
    writer.add_named_destination("chapter", 2)
    writer.add_annotation(0, Link(rect=(50, 50, 150, 80), url="https://example.org/"))
    named = writer.add_annotation(0, Link(rect=(50, 100, 150, 130), target_page_index=0))
    named[NameObject("/Dest")] = TextStringObject("chapter")
    action = writer.add_annotation(0, Link(rect=(50, 150, 150, 180), target_page_index=0))
    del action["/Dest"]
    action[NameObject("/A")] = DictionaryObject({
        NameObject("/S"): NameObject("/GoTo"),
        NameObject("/D"): ArrayObject([writer.pages[1].indirect_reference, NameObject("/XYZ"), FloatObject(100),
                                       FloatObject(800), FloatObject(2)])})
    stray = writer._add_object(DictionaryObject({NameObject("/Type"): NameObject("/Page")}))
    lost = writer.add_annotation(0, Link(rect=(50, 200, 150, 230), target_page_index=0))
    lost[NameObject("/Dest")] = ArrayObject([stray, NameObject("/Fit")])
    writer.write(path)
    return path


def test_internal_links_point_at_the_sheet_holding_their_page(tmp_path):
    source = linked_source(tmp_path / "in" / "a.pdf")
    out, tiler = merge(tmp_path, 2, 1)
    reader = PdfReader(out)
    sheets = [page.indirect_reference.idnum for page in reader.pages]
    assert len(sheets) == 2
    links = sorted((a.get_object() for a in reader.pages[0]["/Annots"]), key=lambda a: float(a["/Rect"][1]))
    assert len(links) == 3  # the link to the stray page is gone
    web, by_name, by_action = links
    assert web["/A"]["/URI"] == "https://example.org/"
    assert by_name["/Dest"][0].idnum == sheets[1] and by_name["/Dest"][1] == "/XYZ"
    goto = by_action["/A"]
    assert goto["/S"] == "/GoTo" and goto["/D"][0].idnum == sheets[0]
    cell = (20 + (595 - 40) / 2, 20, (595 - 40) / 2, 802)
    params = tiler._get_layout_params(PdfReader(source).pages[1], cell)
    assert [float(v) for v in goto["/D"][2:4]] == pytest.approx(shown_point(params, 100, 800))
    assert isinstance(goto["/D"][4], NullObject)  # the zoom is left to the viewer
    assert page_objects(out) == 2
    qpdf_check(out)


def test_text_corpus_output_stays_close_to_its_inputs(tmp_path):
    inputs = [text_pdf(tmp_path / "in" / f"doc{i:02}.pdf", 10, seed=i) for i in range(20)]
    config = tmp_path / "c.json"
    config.write_text(json.dumps({"config": {"input_folder": "in", "output_file": "out.pdf",
                                             "layout": {"cols": 2, "rows": 2}}}))
    result = run_program(["sheet-tile", "-c", str(config)], tmp_path)
    assert result.returncode == 0, result.stderr
    out = tmp_path / "out.pdf"
    assert len(PdfReader(out).pages) == 50
    assert out.stat().st_size <= 1.3 * sum(p.stat().st_size for p in inputs)
    qpdf_check(out)
