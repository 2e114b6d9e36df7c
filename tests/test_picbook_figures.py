"""picbook's figures: each image at its own size within its group's cell,
every caption kept, numbering, orientation drawn by the placement, image
formats, resolution limits and the messages about them."""
import io
import os
import shutil
import subprocess

import pytest
from PIL import Image, ImageOps
from pypdf import PdfReader

from conftest import make_image
from picbook_helpers import all_placed, contents_links, page_texts, placed_images, xobject
from velkit import picbook

CONF = {"page_height": 297, "top_margin": 10, "bottom_margin": 5, "title_buffer": 25, "row_gap": 10}


def build(folder, groups, **conf):
    report = picbook.ReportGenerator({"image_folder": str(folder), **CONF, **conf},
                                     {"title_of_report": "Report"}, groups)
    report.generate()
    return PdfReader(folder / conf.get("output_file", "report.pdf")), report


def drawn_by_caption(folder, reader):
    """(w, h) of every drawn image by the file it came from, via the order of
    placement (natural order of the names)."""
    return [(w, h) for *_, w, h in all_placed(reader)]


# --- Each image at its own best size ---------------------------------------

@pytest.mark.parametrize(
    "plots, odd, odd_size, columns",
    [(11, "p99_bar.png", (60, 600), 4), (5, "p99_photo.jpg", (300, 400), 3)],
    ids=["colour-bar-among-plots", "portrait-among-landscape"],
)
def test_an_odd_shape_makes_only_itself_smaller(tmp_path, capsys, plots, odd, odd_size, columns):
    without, with_odd = tmp_path / "without", tmp_path / "with"
    for folder in (without, with_odd):
        for i in range(plots):
            make_image(folder / f"p{i:02d}.png", (400, 300))
    make_image(with_odd / odd, odd_size)
    group = [{"name": "Plots", "pattern": "p", "experiments_per_page": 2, "cols_per_row": columns}]
    plain = drawn_by_caption(without, build(without, group)[0])
    reader, _ = build(with_odd, group)
    mixed = drawn_by_caption(with_odd, reader)
    assert len(mixed) == plots + 1
    for (w0, h0), (w1, h1) in zip(plain, mixed[:plots]):
        assert w1 >= w0 - 0.01 and h1 >= h0 - 0.01
    # The odd image keeps its own shape, as high as the plots' cell.
    w, h = mixed[-1]
    assert h / w == pytest.approx(odd_size[1] / odd_size[0], rel=0.01)
    assert h == pytest.approx(max(ph for _, ph in mixed[:plots]), rel=0.01) or w >= max(pw for pw, _ in mixed)
    text = " ".join(page_texts(with_odd / "report.pdf"))
    for i in range(plots):
        assert f"p{i:02d}" in text
    assert odd.rsplit(".", 1)[0] in text
    assert f"Placed {plots + 1} images in 1 group" in capsys.readouterr().err


def test_a_bar_too_short_to_read_moves_the_group_to_roomier_pages(tmp_path):
    for i in range(7):
        make_image(tmp_path / f"p{i}.png", (400, 300))
    make_image(tmp_path / "p9_bar.png", (60, 600))
    # Four groups a page and two rows: the shared cell is about 23 mm high.
    reader, _ = build(tmp_path, [{"name": "Plots", "pattern": "p", "experiments_per_page": 4, "cols_per_row": 4}])
    for _, _, _, _, w, h in all_placed(reader):
        assert max(w, h) >= 25


# --- No caption lost --------------------------------------------------------

def test_captions_of_cells_narrower_than_a_character_go_below_the_row(tmp_path):
    # 18 strips in one row: cells about 2.7 mm wide, narrower than an "F".
    for i in range(18):
        make_image(tmp_path / f"s{i:02d}.png", (10, 400))
    make_image(tmp_path / "t_next.png", (40, 30))
    groups = [{"name": "Strips", "pattern": "s", "experiments_per_page": 2, "cols_per_row": 18},
              {"name": "Next", "pattern": "t_", "experiments_per_page": 2}]
    reader, _ = build(tmp_path, groups)
    placed = all_placed(reader)
    assert len(placed) == 19 and max(w for *_, w, h in placed[:18]) < 3
    text = " ".join(page_texts(tmp_path / "report.pdf"))
    for i in range(18):
        assert f"Figure {i + 1}: s{i:02d}" in text
    # The notes take room below the row: the next group starts below them.
    strips_bottom = max(y + h for _, _, _, y, _, h in placed[:18])
    next_page, _, _, next_top, _, _ = placed[18]
    assert next_page > placed[0][0] or next_top > strips_bottom + 18 * 4

# --- Figure numbers ---------------------------------------------------------

@pytest.mark.parametrize(
    "mode, expected",
    [(None, [1, 2, 1, 1, 2, 1]), ("row", [1, 2, 1, 1, 2, 1]), ("group", [1, 2, 3, 1, 2, 3]),
     ("report", [1, 2, 3, 4, 5, 6])],
    ids=["default", "row", "group", "report"],
)
def test_figure_numbers(tmp_path, mode, expected):
    for name in ["a1", "a2", "a3", "b1", "b2", "b3"]:
        make_image(tmp_path / f"{name}.png", (40, 30))
    conf = {} if mode is None else {"figure_numbers": mode}
    groups = [{"name": "A", "pattern": "a", "experiments_per_page": 2, "cols_per_row": 2},
              {"name": "B", "pattern": "b", "experiments_per_page": 2, "cols_per_row": 2}]
    build(tmp_path, groups, **conf)
    text = " ".join(page_texts(tmp_path / "report.pdf"))
    for number, name in zip(expected, ["a1", "a2", "a3", "b1", "b2", "b3"]):
        assert f"Figure {number}: {name}" in text


def test_unknown_figure_numbers_is_refused(tmp_path):
    with pytest.raises(ValueError, match="'config.figure_numbers' must be \"row\", \"group\" or \"report\""):
        picbook.ReportGenerator({"figure_numbers": "page"}, {}, [])


# --- Messages that match the file --------------------------------------------

def _jpeg(path, size=(400, 300), orientation=None, colours=True):
    image = Image.new("RGB", size, (200, 0, 0))
    if colours:
        w, h = size
        image.paste((0, 0, 200), (0, 0, w // 2, h // 2))      # top left blue
        image.paste((0, 200, 0), (w // 2, 0, w, h // 2))      # top right green
        image.paste((230, 230, 0), (0, h // 2, w // 2, h))    # bottom left yellow
    exif = Image.Exif()
    if orientation:
        exif[0x0112] = orientation
    buffer = io.BytesIO()
    image.save(buffer, "JPEG", exif=exif.tobytes(), quality=95)
    path.write_bytes(buffer.getvalue())
    return path


def test_jpeg_messages_match_the_file(tmp_path, capsys):
    trailing = _jpeg(tmp_path / "a_trailing.jpg")
    trailing.write_bytes(trailing.read_bytes() + b"\0" * 300 + b"camera padding")
    cut = _jpeg(tmp_path / "b_turned_cut.jpg", orientation=6)
    cut.write_bytes(cut.read_bytes()[:-300])
    reader, report = build(tmp_path, [{"name": "Photos", "pattern": "_", "experiments_per_page": 1,
                                       "cols_per_row": 2}])
    err = capsys.readouterr().err
    assert "a_trailing.jpg" not in err
    lines = [line for line in err.splitlines() if "b_turned_cut.jpg" in line]
    assert len(lines) == 1 and "the JPEG data ends early; it is embedded as it is" in lines[0]
    assert "Placed 2 images in 1 group on 2 pages" in err


def test_summary_counts_files_and_an_empty_group_has_no_link(tmp_path, capsys):
    for name in ["run_a", "run_b", "shared_ab"]:
        make_image(tmp_path / f"{name}.png", (40, 30))
    groups = [{"name": "A", "pattern": "a", "experiments_per_page": 2},
              {"name": "Nothing", "pattern": "zzz", "experiments_per_page": 2},
              {"name": "B", "pattern": "b", "experiments_per_page": 2}]
    reader, _ = build(tmp_path, groups)
    err = capsys.readouterr().err
    # shared_ab is drawn twice, counted once.
    assert "Placed 3 images in 2 groups on 2 pages; 1 image is in two groups" in err
    contents = page_texts(tmp_path / "report.pdf")[0]
    assert "2. Nothing (no images)" in contents
    # Two links, from the entries of A and B (the first and third lines).
    links = contents_links(reader)
    assert len(links) == 2
    (_, first, _), (_, second, _) = links
    assert first[1] - second[1] == pytest.approx(2 * 10 * 72 / 25.4, abs=1)


# --- Orientation drawn by the placement ----------------------------------------

def _quadrant_colours(image):
    image = image.convert("RGB")
    w, h = image.size
    return [image.getpixel((int(w * fx), int(h * fy))) for fx, fy in
            [(0.25, 0.25), (0.75, 0.25), (0.25, 0.75), (0.75, 0.75)]]


def _close(a, b):
    return all(abs(x - y) <= 60 for x, y in zip(a, b))


def _png_chunks(data):
    chunks, at = [], 8
    while at < len(data):
        length = int.from_bytes(data[at:at + 4], "big")
        chunks.append(data[at:at + 12 + length])
        at += 12 + length
    return chunks


def _png_with_orientation(path, orientation, exif_last=False):
    jpeg = _jpeg(path.with_suffix(".tmp"), orientation=None)
    image = Image.open(jpeg)
    exif = Image.Exif()
    exif[0x0112] = orientation
    image.save(path, exif=exif)
    jpeg.unlink()
    if exif_last:  # where some writers put it: after the image data
        data = path.read_bytes()
        chunks = _png_chunks(data)
        moved = [c for c in chunks if c[4:8] == b"eXIf"]
        rest = [c for c in chunks if c[4:8] != b"eXIf"]
        path.write_bytes(data[:8] + b"".join(rest[:-1] + moved + rest[-1:]))
    return path


@pytest.mark.skipif(shutil.which("pdftoppm") is None, reason="pdftoppm (poppler-utils) is not installed")
@pytest.mark.parametrize(
    "suffix, orientation",
    [(".jpg", o) for o in range(1, 9)] + [(".png", 6), (".png", 7), (".png-last", 8)],
    ids=[f"jpeg-{o}" for o in range(1, 9)] + ["png-exif-6", "png-exif-7", "png-exif-after-data-8"],
)
def test_orientation_is_drawn_as_a_viewer_shows_it(tmp_path, suffix, orientation):
    path = tmp_path / f"photo{suffix.split('-')[0]}"
    if suffix == ".jpg":
        _jpeg(path, orientation=orientation)
    else:
        _png_with_orientation(path, orientation, exif_last=suffix.endswith("last"))
    expected = ImageOps.exif_transpose(Image.open(path))
    reader, _ = build(tmp_path, [{"name": "Photo", "pattern": "photo", "experiments_per_page": 1}])
    page = reader.pages[1]
    ((name, x, y, w, h),) = placed_images(page)
    assert h / w == pytest.approx(expected.height / expected.width, rel=0.01)
    if suffix == ".jpg":
        assert xobject(page, name).get_data() == path.read_bytes()
    subprocess.run(["pdftoppm", "-f", "2", "-l", "2", "-r", "50", "-png", str(tmp_path / "report.pdf"),
                    str(tmp_path / "page")], check=True)
    rendered = Image.open(next(tmp_path.glob("page*.png")))
    scale = 50 / 25.4
    shown = rendered.crop((int((x + 1) * scale), int((y + 1) * scale), int((x + w - 1) * scale),
                           int((y + h - 1) * scale)))
    for got, want in zip(_quadrant_colours(shown), _quadrant_colours(expected)):
        assert _close(got, want), (got, want)


# --- Formats and resolution ------------------------------------------------------

def test_max_image_dpi_resamples_large_images(tmp_path):
    plain, limited = tmp_path / "plain", tmp_path / "limited"
    ramp = Image.linear_gradient("L").resize((4000, 3000))
    big = Image.merge("RGB", (ramp, ramp.transpose(Image.Transpose.FLIP_LEFT_RIGHT), ramp.rotate(90)))
    # A band of sensor noise: what makes real images large.
    big.paste(Image.frombytes("RGB", (4000, 200), os.urandom(4000 * 200 * 3)), (0, 1400))
    for folder in (plain, limited):
        folder.mkdir()
        big.save(folder / "x_big.png", compress_level=1)
        _jpeg(folder / "x_photo.jpg", size=(3000, 2000))
    group = [{"name": "Big", "pattern": "x_", "experiments_per_page": 2, "cols_per_row": 3}]
    build(plain, group)
    reader, _ = build(limited, group, max_image_dpi=150)
    page = reader.pages[-1]
    for name, x, y, w, h in placed_images(page):
        image = xobject(page, name)
        assert image["/Width"] <= 150 * w / 25.4 + 1
    filters = {str(xobject(page, name)["/Filter"]) for name, *_ in placed_images(page)}
    assert filters == {"/FlateDecode", "/DCTDecode"}  # the PNG stays lossless, the photo a JPEG
    assert (limited / "report.pdf").stat().st_size < (plain / "report.pdf").stat().st_size / 10


@pytest.mark.parametrize("value", [0, -5, "150", True], ids=["zero", "negative", "text", "bool"])
def test_unusable_max_image_dpi_is_refused(value):
    with pytest.raises(ValueError, match="max_image_dpi"):
        picbook.ReportGenerator({"max_image_dpi": value}, {}, [])


def test_tiff_sixteen_bit_and_multi_page(tmp_path, capsys):
    ramp = Image.new("I;16", (256, 4))
    ramp.putdata([x * 257 for x in range(256)] * 4)
    ramp.save(tmp_path / "a_depth.tif")
    pages = [Image.new("RGB", (60, 40), colour) for colour in [(200, 0, 0), (0, 200, 0), (0, 0, 200)]]
    pages[0].save(tmp_path / "b_stack.tiff", save_all=True, append_images=pages[1:])
    reader, _ = build(tmp_path, [{"name": "Scans", "pattern": "_", "experiments_per_page": 1, "cols_per_row": 2}])
    images = reader.pages[1].images
    assert len(images) == 2
    row = [images[0].image.convert("L").getpixel((x, 1)) for x in range(256)]
    assert row[0] <= 2 and row[-1] >= 253 and row[128] == pytest.approx(128, abs=3)
    assert images[1].image.convert("RGB").getpixel((10, 10))[0] > 150  # the first page
    err = capsys.readouterr().err
    assert "b_stack.tiff: has 3 pages; the first is shown" in err
    assert "Placed 2 images in 1 group" in err


def test_a_phone_photo_with_a_second_frame_is_no_multi_page_file(tmp_path, capsys):
    first, second = Image.new("RGB", (300, 200), (200, 30, 30)), Image.new("RGB", (300, 200), (30, 30, 200))
    first.save(tmp_path / "phone.jpg", "MPO", save_all=True, append_images=[second])
    reader, _ = build(tmp_path, [{"name": "Phone", "pattern": "phone"}])
    assert "the first is shown" not in capsys.readouterr().err
    assert reader.pages[1].images[0].image.convert("RGB").getpixel((10, 10))[0] > 150


@pytest.mark.parametrize("mode, key", [("RGB", (255, 255, 255)), ("L", 255)], ids=["rgb", "grey"])
def test_colour_key_is_kept_as_transparency(tmp_path, mode, key):
    image = Image.new(mode, (40, 30), key)
    image.paste((0, 0, 0) if mode == "RGB" else 0, (10, 10, 30, 20))
    image.save(tmp_path / "keyed.png", transparency=key)
    reader, _ = build(tmp_path, [{"name": "Keyed", "pattern": "keyed"}])
    page = reader.pages[1]
    ((name, *_),) = placed_images(page)
    mask = xobject(page, name)["/SMask"].get_object()
    alpha = Image.frombytes("L", (mask["/Width"], mask["/Height"]), mask.get_data())
    assert alpha.getpixel((0, 0)) == 0 and alpha.getpixel((20, 15)) == 255
