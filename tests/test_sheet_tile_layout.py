"""sheet-tile's layout keys as a user sets them: the sheet size, the order
the cells fill in, the gutter between cells, pages turned to fit their
cell, the natural order of file names and a fresh sheet per file."""
import json

import pytest
from pypdf import PdfReader

from conftest import run_program
from sheet_tile_helpers import make_pdf, outline, qpdf_check, red_centre, render, single_pages


def tile(tmp_path, cols=2, rows=2, landscape=False, **keys):
    """Runs `vel-kit sheet-tile` over tmp_path/in; the report and the run."""
    out = tmp_path / "out.pdf"
    conf = {"input_folder": str(tmp_path / "in"), "output_file": str(out),
            "layout": {"cols": cols, "rows": rows, "landscape": landscape}, **keys}
    path = tmp_path / "c.json"
    path.write_text(json.dumps({"config": conf}), encoding="utf-8")
    result = run_program(["sheet-tile", "-c", str(path)], tmp_path)
    if result.returncode == 0:
        qpdf_check(out)
    return out, result


def sheet_sizes(path):
    return [(round(float(p.mediabox.width), 2), round(float(p.mediabox.height), 2)) for p in PdfReader(path).pages]


def greys_at(image, spots):
    """The grey level (0..255) at each (x, y) given as fractions of the image."""
    return [image.getpixel((int(x * image.width), int(y * image.height)))[0] for x, y in spots]


@pytest.mark.parametrize("page_size, landscape, size", [
    (None, False, (595, 842)),
    ("A3", False, (842, 1191)),
    ("a5", True, (595, 420)),
    ("Letter", False, (612, 792)),
    ("LEGAL", True, (1008, 612)),
    ([400, 300.5], False, (400, 300.5)),
    ([300, 400], True, (400, 300)),
    ([800, 400], True, (800, 400)),
], ids=lambda v: json.dumps(v))
def test_sheet_size(tmp_path, page_size, landscape, size):
    single_pages(tmp_path / "in", ["a.pdf"])
    keys = {} if page_size is None else {"page_size": page_size}
    out, result = tile(tmp_path, 1, 1, landscape=landscape, **keys)
    assert result.returncode == 0, result.stderr
    assert sheet_sizes(out) == [size]


@pytest.mark.parametrize("keys, named", [
    ({"page_size": "A6"}, "'config.page_size' must be one of \"A3\", \"A4\", \"A5\", \"Letter\", \"Legal\" or "
                          "[width, height] in points, each from 3 to 14400 (got 'A6')"),
    ({"page_size": [595]}, "'config.page_size' must be one of"),
    ({"page_size": [0, 842]}, "'config.page_size' must be one of"),
    ({"page_size": [595, True]}, "'config.page_size' must be one of"),
    ({"page_size": [595, 1e9]}, "'config.page_size' must be one of"),
    ({"page_size": None}, "'config.page_size' must be one of"),
    ({"order": "diagonal"}, "'config.order' must be one of \"rows\", \"columns\" or \"rows_rtl\" (got 'diagonal')"),
    ({"order": 2}, "'config.order' must be one of"),
    ({"sort": "Natural"}, "'config.sort' must be one of \"name\" or \"natural\" (got 'Natural')"),
    ({"gutter": -1}, "'config.gutter' must be a number of at least 0 (got -1)"),
    ({"gutter": 555}, "'config.gutter' leaves no room for 2 x 2 cells on a page of 595.0 x 842.0 points (got 555)"),
    ({"rotate_to_fit": "yes"}, "'config.rotate_to_fit' must be true or false (got 'yes')"),
    ({"new_sheet_per_file": 2}, "'config.new_sheet_per_file' must be true or false (got 2)"),
    ({"page_size": [100, 100], "margin": 50}, "'config.margin' leaves no printable area on a page of 100.0 x 100.0"),
], ids=lambda v: json.dumps(v) if isinstance(v, dict) else None)
def test_unusable_layout_keys_are_refused_naming_the_key(tmp_path, keys, named):
    single_pages(tmp_path / "in", ["a.pdf"])
    out, result = tile(tmp_path, **keys)
    assert result.returncode == 1
    assert named in result.stderr
    assert not out.exists()


# Four single-page files in four greys on a 3 x 2 sheet: which cells they take.
CELL_CENTRES = {(col, row): ((20 + (col + 0.5) * 802 / 3) / 842, (20 + (row + 0.5) * 555 / 2) / 595)
                for col in range(3) for row in range(2)}


@pytest.mark.parametrize("order, first_cells", [
    (None, [(0, 0), (1, 0), (2, 0), (0, 1)]),
    ("rows", [(0, 0), (1, 0), (2, 0), (0, 1)]),
    ("columns", [(0, 0), (0, 1), (1, 0), (1, 1)]),
    ("rows_rtl", [(2, 0), (1, 0), (0, 0), (2, 1)]),
])
def test_order_of_the_first_cells(tmp_path, order, first_cells):
    single_pages(tmp_path / "in", ["a.pdf", "b.pdf", "c.pdf", "d.pdf"], size=(842, 595))
    out, result = tile(tmp_path, 3, 2, landscape=True, **({} if order is None else {"order": order}))
    assert result.returncode == 0, result.stderr
    image = render(out, 1, tmp_path / "sheet")
    expected = {cell: round(255 * 0.1 * (i + 1)) for i, cell in enumerate(first_cells)}
    for cell, centre in CELL_CENTRES.items():
        grey = greys_at(image, [centre])[0]
        if cell in expected:
            assert abs(grey - expected[cell]) <= 3, (cell, grey)
        else:
            assert grey == 255, (cell, grey)


def red_columns(image, y_fraction=0.5):
    """The x positions (in image pixels) where a red frame crosses a row."""
    pixels = image.load()
    y = int(y_fraction * image.height)
    xs = [x for x in range(image.width) if pixels[x, y][0] > 200 and pixels[x, y][1] < 80]
    runs = []
    for x in xs:
        if runs and x - runs[-1][-1] <= 1:
            runs[-1].append(x)
        else:
            runs.append([x])
    return [sum(run) / len(run) for run in runs]


@pytest.mark.parametrize("gutter, frame_edges", [
    (None, [20, 421, 822]),
    (0, [20, 421, 822]),
    (100, [20, 371, 471, 822]),
    (20.5, [20, 410.75, 431.25, 822]),
], ids=lambda v: json.dumps(v))
def test_gutter_between_neighbouring_cells(tmp_path, gutter, frame_edges):
    single_pages(tmp_path / "in", ["a.pdf", "b.pdf"], size=(300, 300))
    keys = {"debug_grid": True, **({} if gutter is None else {"gutter": gutter})}
    out, result = tile(tmp_path, 2, 1, landscape=True, **keys)
    assert result.returncode == 0, result.stderr
    image = render(out, 1, tmp_path / "sheet", dpi=72)
    assert image.width == 842
    edges = red_columns(image, 0.08)  # above the pages, where only the frames are
    assert len(edges) == len(frame_edges)
    assert all(abs(seen - wanted) <= 1.5 for seen, wanted in zip(edges, frame_edges)), edges


@pytest.mark.parametrize("page, rotate, rotate_to_fit, red_at, tall", [
    # A landscape page in a portrait cell: turned a quarter counter-clockwise,
    # its top (with the red mark at its left end) along the cell's left edge.
    ((842, 595), None, True, "bottom-left", True),
    ((842, 595), None, False, "upper-left", False),
    # A portrait page shown landscape by its /Rotate entry is set upright.
    ((595, 842), 90, True, "top-left", True),
    # A page that fits as it is stays as it is.
    ((595, 842), None, True, "top-left", True),
], ids=["landscape-turned", "landscape-upright", "rotate-entry-undone", "portrait-kept"])
def test_rotate_to_fit(tmp_path, page, rotate, rotate_to_fit, red_at, tall):
    make_pdf(tmp_path / "in" / "a.pdf", [(*page, (0, 0, 1))], rotate=rotate)
    out, result = tile(tmp_path, 1, 1, rotate_to_fit=rotate_to_fit)
    assert result.returncode == 0, result.stderr
    image = render(out, 1, tmp_path / "sheet")
    x, y = red_centre(image)
    where = {"bottom-left": (x < 0.2 and y > 0.75), "upper-left": (x < 0.2 and 0.25 < y < 0.45),
             "top-left": (x < 0.2 and y < 0.15)}
    assert where[red_at], (x, y)
    # A page drawn upright in portrait reaches high up the cell.
    assert (image.getpixel((image.width // 2, int(0.15 * image.height))) == (0, 0, 255)) == tall


@pytest.mark.parametrize("sort, titles", [
    (None, ["10.pdf", "2.pdf", "B.pdf", "a.pdf", "b10.pdf", "b2.pdf"]),
    ("name", ["10.pdf", "2.pdf", "B.pdf", "a.pdf", "b10.pdf", "b2.pdf"]),
    ("natural", ["2.pdf", "10.pdf", "a.pdf", "B.pdf", "b2.pdf", "b10.pdf"]),
])
def test_file_order(tmp_path, sort, titles):
    names = ["b10.pdf", "a.pdf", "10.pdf", "B.pdf", "2.pdf", "b2.pdf"]
    single_pages(tmp_path / "in", names)
    out, result = tile(tmp_path, 3, 2, **({} if sort is None else {"sort": sort}))
    assert result.returncode == 0, result.stderr
    assert [title for title, _ in outline(out)] == titles


@pytest.mark.parametrize("per_file, starts, sheets", [
    (False, [("a.pdf", 0), ("c.pdf", 0), ("d.pdf", 1), ("e.pdf", 2)], 3),
    (True, [("a.pdf", 0), ("c.pdf", 1), ("d.pdf", 2), ("e.pdf", 3)], 4),
], ids=["shared-sheets", "sheet-per-file"])
def test_new_sheet_per_file(tmp_path, per_file, starts, sheets):
    """a: 3 pages, b: not a PDF, c: 2 pages, d: 4 pages (a whole sheet), e: 1."""
    folder = tmp_path / "in"
    make_pdf(folder / "a.pdf", [(595, 842, (0.2, 0.2, 0.2))] * 3)
    (folder / "b.pdf").write_bytes(b"not a PDF")
    make_pdf(folder / "c.pdf", [(595, 842, (0.4, 0.4, 0.4))] * 2)
    make_pdf(folder / "d.pdf", [(595, 842, (0.6, 0.6, 0.6))] * 4)
    make_pdf(folder / "e.pdf", [(595, 842, (0.8, 0.8, 0.8))])
    out, result = tile(tmp_path, 2, 2, new_sheet_per_file=per_file)
    assert result.returncode == 0, result.stderr
    assert outline(out) == starts
    assert len(PdfReader(out).pages) == sheets
    if per_file:
        # Every file begins in the first cell of its sheet, and a sheet
        # holds one file only.
        for number, grey in [(2, 102), (3, 153), (4, 204)]:
            image = render(out, number, tmp_path / f"sheet{number}")
            assert abs(greys_at(image, [(0.25, 0.25)])[0] - grey) <= 3
        assert greys_at(render(out, 2, tmp_path / "c"), [(0.75, 0.75)]) == [255]
