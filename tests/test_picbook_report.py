"""picbook's worker: grouping, layout sizes and the PDF it writes."""
import shutil
import subprocess

import pytest
from fpdf import FPDF
from pypdf import PdfReader

from conftest import make_image
from velkit import picbook

TEMPLATE_CONF = {"page_height": 297, "top_margin": 10, "bottom_margin": 5, "title_buffer": 25, "row_gap": 10}


def generator(folder, groups, main_page=None, **conf):
    config = {"image_folder": str(folder), **TEMPLATE_CONF, **conf}
    return picbook.ReportGenerator(config, main_page or {"title_of_report": "Report"}, groups)


def page_of_destination(reader, annotation):
    target = annotation["/Dest"][0].idnum
    return next(i for i, page in enumerate(reader.pages) if page.indirect_reference.idnum == target) + 1


def link_pages(reader):
    return [page_of_destination(reader, a.get_object()) for a in reader.pages[0]["/Annots"]]


class TestConstructor:
    def test_attributes_and_empty_document(self, capsys):
        conf, main_page, groups = {"top_margin": 10, "bottom_margin": 5}, {"t": "x"}, [{"name": "g"}]
        report = picbook.ReportGenerator(conf, main_page, groups)
        assert report.conf is conf and report.main_page is main_page and report.groups_def is groups
        assert isinstance(report.pdf, picbook.LabReport) and issubclass(picbook.LabReport, FPDF)
        assert report.pdf.page_no() == 0 and report.links == {}
        assert report.total_usable_h == 282
        assert "[INIT] Total usable height: 282.0mm" in capsys.readouterr().err

    def test_defaults_when_keys_are_absent(self):
        assert picbook.ReportGenerator({}, {"t": "x"}, []).total_usable_h == 267


class TestParseFiles:
    def test_groups_in_configuration_order_files_in_name_order(self, tmp_path):
        for name in ["Result_b_2.png", "Result_a_1.jpg", "Result_b_1.bmp", "Result_a_2.PNG"]:
            make_image(tmp_path / name, (20, 10))
        (tmp_path / "Result_a_3.txt").write_text("not an image")
        report = generator(tmp_path, [
            {"name": "B", "pattern": "b_"},
            {"name": "Skipped", "pattern": "   "},
            {"name": "A", "pattern": "a_"},
            {"name": "None", "pattern": "zzz"},
            {"name": "B", "pattern": "_1"},
        ], file_prefix="Result")
        data = report.parse_files()
        assert list(data) == ["B", "A", "None"]
        assert [r["caption"] for r in data["A"]] == ["a_1", "a_2"]
        assert data["A"][0] == {"path": str(tmp_path / "Result_a_1.jpg"), "caption": "a_1"}
        # The later "B" replaced the earlier one but kept its position.
        assert [r["caption"] for r in data["B"]] == ["a_1", "b_1"]
        assert data["None"] == []

    def test_empty_folder_counts_zero(self, tmp_path, capsys):
        data = generator(tmp_path, [{"name": "A", "pattern": "a"}]).parse_files()
        assert data == {"A": []}
        assert "Total images found: 0" in capsys.readouterr().err

    def test_missing_folder_gives_empty_result(self, tmp_path, capsys):
        assert generator(tmp_path / "none", [{"name": "A", "pattern": "a"}]).parse_files() == {}
        assert "Error: Image folder not found: " in capsys.readouterr().err


class TestMaxRatio:
    def test_tallest_ratio_wins(self, tmp_path):
        records = [{"path": str(make_image(tmp_path / n, s)), "caption": n}
                   for n, s in [("wide.png", (400, 300)), ("tall.png", (300, 400))]]
        assert generator(tmp_path, []).get_max_ratio_from_images(records) == pytest.approx(400 / 300)

    def test_fallback_for_empty_or_unreadable(self, tmp_path, capsys):
        (tmp_path / "bad.png").write_bytes(b"junk")
        report = generator(tmp_path, [])
        assert report.get_max_ratio_from_images([]) == 0.75
        assert report.get_max_ratio_from_images([{"path": str(tmp_path / "bad.png"), "caption": ""}]) == 0.75
        assert f"Cannot read image ratio for {tmp_path / 'bad.png'}: " in capsys.readouterr().err


@pytest.mark.parametrize(
    "rows, expected", [(1, (87.5, 65.625)), (2, (64, 48)), (0, (87.5, 0))], ids=["width", "height", "no-rows"]
)
def test_calculate_layout_size(tmp_path, rows, expected):
    size = generator(tmp_path, []).calculate_layout_size(rows, 87.5, 0.75, 141)
    assert size == pytest.approx(expected)


@pytest.fixture
def lab_folder(tmp_path):
    for i in range(1, 6):
        make_image(tmp_path / f"Result_peak_run{i}.png", (400, 300))
    for i in range(1, 4):
        make_image(tmp_path / f"Result_noise_ch{i}.jpg", (300, 400))
    return tmp_path


GROUPS = [
    {"name": "Peaks", "pattern": "peak", "experiments_per_page": 2, "cols_per_row": 2},
    {"name": "Empty", "pattern": "nothing", "experiments_per_page": 2, "cols_per_row": 2},
    {"name": "Noise", "pattern": "noise", "experiments_per_page": 2, "cols_per_row": 3},
]


class TestGenerate:
    def test_report_pages_headers_links_and_captions(self, lab_folder):
        main_page = {"title_of_report": "Bench Test", "dut_inform": "Board B", "user_title_2": " Gain ",
                     "user_content_2": "12 dB", "user_title_3": "Unused"}
        generator(lab_folder, GROUPS, main_page, output_file="out.pdf", file_prefix="Result").generate()
        reader = PdfReader(lab_folder / "out.pdf")
        texts = [" ".join(page.extract_text().split()) for page in reader.pages]
        assert len(reader.pages) == 2
        assert "Lab Report - Page" not in texts[0]
        assert "Lab Report - Page 2" in texts[1]
        for expected in ["Bench Test", "DUT", "Board B", "Gain", "12 dB", "1. Peaks", "2. Empty (no images)",
                         "3. Noise"]:
            assert expected in texts[0]
        assert "Unused" not in texts[0]
        # Peaks fits below the contents; no room is left for Noise's budget.
        # Empty has nothing to link to.
        assert link_pages(reader) == [1, 2]
        assert "peak_run" not in texts[1] and "noise_ch" not in texts[0]
        # Figure numbers restart on every row: 5 images in 2 columns.
        assert texts[0].count("Figure 1: peak_run") == 3 and texts[0].count("Figure 2: peak_run") == 2
        assert texts[1].count("Figure 3: noise_ch3") == 1

    def test_one_experiment_per_page_starts_each_group_on_a_new_page(self, lab_folder):
        groups = [dict(g, experiments_per_page=1) for g in GROUPS]
        generator(lab_folder, groups).generate()
        reader = PdfReader(lab_folder / "report.pdf")
        assert len(reader.pages) == 3
        assert link_pages(reader) == [2, 3]

    def test_a_name_that_is_not_text_still_gets_its_link(self, lab_folder):
        generator(lab_folder, [dict(GROUPS[0], name=2024, experiments_per_page=1)]).generate()
        reader = PdfReader(lab_folder / "report.pdf")
        assert link_pages(reader) == [2] and "2024" in reader.pages[1].extract_text()

    def test_only_skipped_groups_write_nothing(self, lab_folder, capsys):
        generator(lab_folder, [{"name": "X", "pattern": " "}]).generate()
        assert "No data found matching patterns. Aborting." in capsys.readouterr().err
        assert not (lab_folder / "report.pdf").exists()

    def test_groups_without_matches_give_a_contents_page_only(self, lab_folder):
        generator(lab_folder, [{"name": "X", "pattern": "zzz"}]).generate()
        reader = PdfReader(lab_folder / "report.pdf")
        assert len(reader.pages) == 1 and "1. X" in reader.pages[0].extract_text()

    def test_absolute_output_file_stands_alone(self, lab_folder, tmp_path_factory):
        target = tmp_path_factory.mktemp("elsewhere") / "r.pdf"
        generator(lab_folder, GROUPS[:1], output_file=str(target)).generate()
        assert target.exists() and not (lab_folder / "r.pdf").exists()

    def test_characters_no_font_covers_become_question_marks(self, lab_folder, capsys):
        groups = [dict(GROUPS[0], name="Peaks \u20ac")]
        generator(lab_folder, groups, {"title_of_report": "Lab \U0001f9ea\U0001f9ea"}).generate()
        text = PdfReader(lab_folder / "report.pdf").pages[0].extract_text()
        assert "Lab ??" in text and "Peaks \u20ac" in text
        assert 'cannot show some characters of "Lab \U0001f9ea\U0001f9ea"' in capsys.readouterr().err

    def test_unreadable_image_gets_a_placeholder_and_the_report_is_written(self, lab_folder, capsys):
        (lab_folder / "report.pdf").write_bytes(b"%PDF earlier report")
        (lab_folder / "Result_peak_run9.png").write_bytes(b"not an image")
        report = generator(lab_folder, GROUPS, file_prefix="Result")
        report.generate()
        text = PdfReader(lab_folder / "report.pdf").pages[0].extract_text()
        assert "Result_peak_run9.png" in text and "is not an image" in text
        assert "Placed 8 images in 2 groups on 2 pages; 1 failed: Result_peak_run9.png" in capsys.readouterr().err
        assert [p.name for p in lab_folder.iterdir() if p.name.startswith(".")] == []

    def test_group_without_room_in_its_budget_continues_on_new_pages(self, lab_folder, capsys):
        generator(lab_folder, GROUPS[:1], title_buffer=200).generate()
        assert "does not fit its share of a page; it continues on the following pages" in capsys.readouterr().err
        texts = [page.extract_text() for page in PdfReader(lab_folder / "report.pdf").pages]
        assert sum(text.count("Figure") for text in texts) == 5


@pytest.mark.skipif(shutil.which("pdftoppm") is None, reason="pdftoppm (poppler-utils) is not installed")
def test_images_are_drawn_in_their_cells(tmp_path):
    from PIL import Image

    make_image(tmp_path / "a_red.png", (400, 300), (255, 0, 0))
    make_image(tmp_path / "b_green.png", (400, 300), (0, 255, 0))
    generator(tmp_path, [{"name": "Colours", "pattern": "_", "experiments_per_page": 1, "cols_per_row": 2}]).generate()
    subprocess.run(["pdftoppm", "-r", "25.4", "-f", "2", "-l", "2", "-png", str(tmp_path / "report.pdf"),
                    str(tmp_path / "page")], check=True)
    page = Image.open(next(tmp_path.glob("page*.png"))).convert("RGB")  # one pixel per millimetre
    # Page 2: header to y 20, title 9 mm, cells 87.5 x 65.6 at x 15 and 107.5.
    cell_top = 10 + 10 + 8 + 1
    assert page.getpixel((15 + 44, cell_top + 33)) == (255, 0, 0)
    assert page.getpixel((107 + 44, cell_top + 33)) == (0, 255, 0)
    assert page.getpixel((104, cell_top + 33)) == (255, 255, 255)  # the gutter
