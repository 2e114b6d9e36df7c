"""picbook on awkward image folders: shapes, long groups, captions, damaged
and turned images, the contents page, fonts and order, read back from the PDF."""
import shutil
import subprocess

import pytest
from PIL import Image
from pypdf import PdfReader

from conftest import make_image
from picbook_helpers import MM, PAGE_H, PAGE_W, all_placed, contents_links, page_texts, placed_images, xobject
from velkit import picbook

CONF = {"page_height": 297, "top_margin": 10, "bottom_margin": 5, "title_buffer": 25, "row_gap": 10}
DEJAVU = shutil.which("fc-match") and "DejaVu" in subprocess.run(
    ["fc-match", "sans-serif"], capture_output=True, text=True).stdout


def build(folder, groups, main_page=None, **conf):
    report = picbook.ReportGenerator({"image_folder": str(folder), **CONF, **conf},
                                     main_page or {"title_of_report": "Report"}, groups)
    report.generate()
    return PdfReader(folder / conf.get("output_file", "report.pdf")), report


def assert_inside_pages(placed, bottom_margin=5):
    for page, name, x, y, w, h in placed:
        assert x >= 15 - 0.01 and x + w <= PAGE_W - 15 + 0.01, (page, name, x, w)
        assert y >= 0 and y + h <= PAGE_H - bottom_margin + 0.01, (page, name, y, h)


def test_every_image_keeps_its_pixel_ratio(tmp_path):
    sizes = {"a_plot.png": (2000, 400), "b_photo.jpg": (300, 400), "c_square.png": (300, 300)}
    for name, size in sizes.items():
        make_image(tmp_path / name, size)
    reader, _ = build(tmp_path, [{"name": "Mixed", "pattern": "_", "experiments_per_page": 2, "cols_per_row": 3}])
    placed = all_placed(reader)
    assert len(placed) == 3
    for (_, _, x, y, w, h), (width, height) in zip(placed, sizes.values()):
        assert h / w == pytest.approx(height / width, rel=0.01)
    # Standing on one bottom edge, so that the captions line up.
    bottoms = {round(y + h, 3) for _, _, x, y, w, h in placed}
    assert len(bottoms) == 1


def test_a_long_group_continues_on_following_pages(tmp_path, capsys):
    for i in range(300):
        make_image(tmp_path / f"scan_{i}.png", (40, 30))
    reader, report = build(tmp_path, [{"name": "Scans", "pattern": "scan", "experiments_per_page": 2,
                                       "cols_per_row": 4}])
    placed = all_placed(reader)
    assert len(placed) == 300
    assert_inside_pages(placed)
    # Readable: the width-limited cell of four columns.
    assert min(h for *_, h in placed) == pytest.approx((180 - 15) / 4 * 0.75, rel=0.01)
    texts = page_texts(tmp_path / "report.pdf")
    assert len(texts) > 5
    assert all("Scans (continued)" in text for text in texts[2:])
    assert f"Placed 300 images in 1 group on {len(texts)} pages" in capsys.readouterr().err


@pytest.mark.parametrize("columns", [15, 40, 1000])
def test_many_columns_never_fail(tmp_path, columns):
    for i in range(45):
        make_image(tmp_path / f"Result_measurement_with_a_long_name_{i}.png", (40, 30))
    reader, _ = build(tmp_path, [{"name": "Narrow", "pattern": "measurement", "experiments_per_page": 3,
                                  "cols_per_row": columns}], file_prefix="Result")
    placed = all_placed(reader)
    assert len(placed) == 45
    assert_inside_pages(placed)


@pytest.mark.parametrize(
    "size, conf, caption",
    [((100, 300), {"title_buffer": 0, "row_gap": 0}, "tall"),
     ((400, 300), {"title_buffer": 0, "row_gap": 0}, "wide " + "words in a caption " * 10),
     ((100, 300), {"top_margin": 60, "bottom_margin": 60}, "tall")],
    ids=["tall-image-no-buffer", "long-caption-no-buffer", "wide-margins"],
)
def test_nothing_runs_off_the_page(tmp_path, size, conf, caption):
    make_image(tmp_path / f"{caption}.png", size)
    reader, _ = build(tmp_path, [{"name": "G", "pattern": caption[:4]}], **conf)
    bottom = conf.get("bottom_margin", 5)
    assert_inside_pages(all_placed(reader), bottom)
    # The caption's last line too: text is drawn above the bottom margin.
    heights = []
    reader.pages[1].extract_text(visitor_text=lambda text, cm, tm, *_: heights.append(tm[5]) if text.strip() else None)
    assert min(heights) >= bottom * 72 / 25.4


def test_long_captions_push_the_next_row_down(tmp_path):
    words = "long caption words " * 10
    for i in range(4):
        make_image(tmp_path / f"run{i}_{words}.png", (400, 300))
    reader, _ = build(tmp_path, [{"name": "Captions", "pattern": "run", "experiments_per_page": 1,
                                  "cols_per_row": 2}])
    placed = all_placed(reader)
    first_row_bottom = max(y + h for _, _, x, y, w, h in placed[:2])
    second_row_top = min(y for _, _, x, y, w, h in placed[2:])
    # A caption of 4 lines of 4 mm starts 1 mm below its cell.
    assert second_row_top - first_row_bottom >= 1 + 4 * 4
    assert_inside_pages(placed)


def test_damaged_images_become_placeholders(tmp_path, capsys):
    make_image(tmp_path / "a_good.png", (400, 300))
    good = (tmp_path / "a_good.png").read_bytes()
    (tmp_path / "b_truncated.png").write_bytes(good[: len(good) // 2])
    (tmp_path / "c_empty.png").write_bytes(b"")
    (tmp_path / "d_text.png").write_text("not an image")
    make_image(tmp_path / "e_cut.jpg", (400, 300))
    cut = (tmp_path / "e_cut.jpg").read_bytes()[:-200]
    (tmp_path / "e_cut.jpg").write_bytes(cut)
    reader, report = build(tmp_path, [{"name": "Mixed", "pattern": "_", "experiments_per_page": 1,
                                       "cols_per_row": 2}])
    # The JPEG that ends early is embedded as it is.
    placed = placed_images(reader.pages[1])
    assert len(placed) == 2 and xobject(reader.pages[1], placed[1][0]).get_data() == cut
    text = page_texts(tmp_path / "report.pdf")[1]
    assert "cannot be read: the file is truncated" in text
    assert "is empty" in text and "is not an image" in text
    err = capsys.readouterr().err
    assert "Placed 2 images in 1 group on 2 pages; 3 failed: b_truncated.png, c_empty.png, d_text.png" in err
    assert "e_cut.jpg: the JPEG data ends early; it is embedded as it is" in err
    assert "b_truncated.png cannot be read: the file is truncated; it is shown as a placeholder" in err


def test_too_large_image_is_named_with_its_size(tmp_path, capsys, monkeypatch):
    monkeypatch.setattr(Image, "MAX_IMAGE_PIXELS", 1000)
    make_image(tmp_path / "a_huge.png", (100, 40))
    make_image(tmp_path / "b_small.png", (20, 10))
    build(tmp_path, [{"name": "G", "pattern": "_", "experiments_per_page": 1, "cols_per_row": 2}])
    assert "a_huge.png is too large: 4000 pixels" in capsys.readouterr().err
    assert "is too large: 4000 pixels" in page_texts(tmp_path / "report.pdf")[1]


def _jpeg_with_orientation(path, orientation):
    image = Image.new("RGB", (400, 300), (200, 0, 0))
    image.paste((0, 0, 200), (0, 0, 400, 150))  # top half blue as stored
    exif = Image.Exif()
    if orientation:
        exif[0x0112] = orientation
    image.save(path, exif=exif.tobytes(), quality=90)


def test_turned_photo_is_upright_and_every_jpeg_is_kept_byte_for_byte(tmp_path):
    _jpeg_with_orientation(tmp_path / "a_turned.jpg", 6)
    _jpeg_with_orientation(tmp_path / "b_plain.jpg", None)
    reader, _ = build(tmp_path, [{"name": "Photos", "pattern": "_", "experiments_per_page": 1, "cols_per_row": 2}])
    page = reader.pages[1]
    (turned, _, _, w1, h1), (plain, _, _, w2, h2) = placed_images(page)
    # The turned photo is shown upright, from its file as it is stored.
    assert h1 / w1 == pytest.approx(400 / 300, rel=0.01)
    assert (xobject(page, turned)["/Width"], xobject(page, turned)["/Height"]) == (400, 300)
    assert xobject(page, turned).get_data() == (tmp_path / "a_turned.jpg").read_bytes()
    assert h2 / w2 == pytest.approx(300 / 400, rel=0.01)
    assert xobject(page, plain).get_data() == (tmp_path / "b_plain.jpg").read_bytes()


def test_sixteen_bit_gradient_is_scaled_not_clipped(tmp_path):
    ramp = Image.new("I;16", (256, 4))
    ramp.putdata([x * 257 for x in range(256)] * 4)
    ramp.save(tmp_path / "ramp.png")
    reader, _ = build(tmp_path, [{"name": "Ramp", "pattern": "ramp"}])
    drawn = reader.pages[1].images[0].image.convert("L")
    row = [drawn.getpixel((x, 1)) for x in range(256)]
    assert row[0] <= 2 and row[-1] >= 253 and row[128] == pytest.approx(128, abs=3)


def test_thirty_groups_give_thirty_working_links_inside_their_pages(tmp_path):
    make_image(tmp_path / "g_1.png", (40, 30))
    groups = [{"name": f"Group {n} " + "with a name long enough to wrap " * (n % 3), "pattern": "g_",
               "experiments_per_page": 4} for n in range(30)]
    main_page = {"title_of_report": "A title " * 20, "user_title_1": "A label far longer than its column",
                 "user_content_1": "value " * 40}
    reader, _ = build(tmp_path, groups, main_page)
    links = contents_links(reader)
    assert len(links) == 30
    for page, (x1, y1, x2, y2), target in links:
        assert 0 <= x1 < x2 <= PAGE_W * MM and 5 * MM <= y1 < y2 <= PAGE_H * MM
    # Entries continue on page 2, groups follow them; each link finds its group.
    assert {page for page, *_ in links} == {1, 2}
    texts = page_texts(tmp_path / "report.pdf")
    for n, (_, _, target) in enumerate(links):
        assert f"Group {n}" in texts[target - 1]
    outline = reader.outline
    assert len(outline) == 30 and outline[0].title.startswith("Group 0")
    assert reader.metadata.title.startswith("A title") and "Velkit" in reader.metadata.creator


def test_images_in_natural_order(tmp_path):
    for name in ["ch10", "ch2", "Ch1", "ch11"]:
        make_image(tmp_path / f"{name}.png", (40, 30))
    build(tmp_path, [{"name": "Channels", "pattern": "h", "experiments_per_page": 1, "cols_per_row": 4}])
    text = page_texts(tmp_path / "report.pdf")[1]
    positions = [text.index(f"Figure {i}: {name}") for i, name in enumerate(["Ch1", "ch2", "ch10", "ch11"], 1)]
    assert positions == sorted(positions)


@pytest.mark.skipif(not DEJAVU, reason="DejaVu Sans is not installed")
def test_greek_is_drawn_and_latin_reports_embed_no_font(tmp_path, capsys):
    make_image(tmp_path / "g_1.png", (40, 30))
    reader, _ = build(tmp_path, [{"name": "Δf über μV →", "pattern": "g_"}], output_file="greek.pdf")
    assert "Δf über μV →" in page_texts(tmp_path / "greek.pdf")[0]
    assert "cannot show" not in capsys.readouterr().err
    latin, _ = build(tmp_path, [{"name": "Größe 5 € – “ok”", "pattern": "g_"}], output_file="latin.pdf")
    fonts = {str(f["/BaseFont"]) for page in latin.pages for f in page["/Resources"]["/Font"].values()}
    assert all("Helvetica" in font for font in fonts)


@pytest.mark.skipif(not DEJAVU, reason="DejaVu Sans is not installed")
def test_font_file_draws_every_text(tmp_path):
    font = subprocess.run(["fc-match", "-f", "%{file}", "DejaVu Sans"], capture_output=True, text=True).stdout
    make_image(tmp_path / "g_1.png", (40, 30))
    reader, _ = build(tmp_path, [{"name": "Plain", "pattern": "g_", "experiments_per_page": 1}], font_file=font)
    fonts = {str(f.get_object()["/BaseFont"]) for page in reader.pages for f in page["/Resources"]["/Font"].values()}
    assert fonts and all("DejaVu" in font for font in fonts)
