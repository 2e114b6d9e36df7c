"""picbook's text in any script: the font chain per character (down to the
built-in font, also where fontconfig is made to see no DejaVu Sans), shaping
of right-to-left scripts, and "?" for characters no font has."""
import re
import shutil
import subprocess

import pytest
from pypdf import PdfReader

from conftest import make_image
from picbook_helpers import page_texts
from velkit import picbook

CONF = {"page_height": 297, "top_margin": 10, "bottom_margin": 5, "title_buffer": 25, "row_gap": 10}
DEJAVU = shutil.which("fc-match") and subprocess.run(
    ["fc-match", "-f", "%{file}", "DejaVu Sans"], capture_output=True, text=True).stdout
pytestmark = pytest.mark.skipif(not DEJAVU or "DejaVu" not in DEJAVU, reason="DejaVu Sans is not installed")

ARABIC = "مرحبا بالعالم"  # "hello world", joined letters, right to left


def build(folder, groups, main_page, **conf):
    report = picbook.ReportGenerator({"image_folder": str(folder), **CONF, **conf}, main_page, groups)
    report.generate()
    return PdfReader(folder / conf.get("output_file", "report.pdf"))


def texts_with_fonts(reader):
    """(text, base font) of every text run, page by page."""
    runs = []
    for page in reader.pages:
        def visit(text, cm, tm, font, size):
            if text.strip() and font is not None:
                runs.append((text.strip(), str(font.get("/BaseFont", ""))))
        page.extract_text(visitor_text=visit)
    return runs


def cut_font(path, name, unicodes):
    """DejaVu Sans cut down to `unicodes`, named `name`."""
    from fontTools import subset
    from fontTools.ttLib import TTFont

    font = TTFont(DEJAVU)
    subsetter = subset.Subsetter(subset.Options(layout_features=["*"], name_IDs=["*"]))
    subsetter.populate(unicodes=unicodes)
    subsetter.subset(font)
    for record in font["name"].names:
        if record.nameID in (1, 4, 6, 16, 17):
            record.string = name
    font.save(path)
    return path


def arabic_only_font(path):
    """DejaVu Sans cut down to the Arabic block: no Latin letters, no "?"."""
    return cut_font(path, "ArabicOnly", range(0x0600, 0x0700))


def test_font_file_without_latin_keeps_every_latin_label(tmp_path):
    font = arabic_only_font(tmp_path / "arabic.ttf")
    make_image(tmp_path / "scan_1.png", (40, 30))
    main_page = {"title_of_report": "Report " + ARABIC, "dut_inform": "Probe 7"}
    groups = [{"name": "Latin group", "pattern": "scan", "experiments_per_page": 1}]
    reader = build(tmp_path, groups, main_page, font_file=str(font))
    text = " ".join(page_texts(tmp_path / "report.pdf"))
    for label in ["DUT", "Probe 7", "Latin group", "Figure 1:", "Lab Report - Page 2"]:
        assert label in text
    runs = texts_with_fonts(reader)
    latin = [font for text, font in runs if text.isascii() and any(c.isalpha() for c in text)]
    assert latin and all("DejaVu" in font for font in latin)
    assert any("ArabicOnly" in font for _, font in runs)


def test_arabic_is_shaped_and_read_in_logical_order(tmp_path):
    make_image(tmp_path / "scan_1.png", (40, 30))
    groups = [{"name": ARABIC, "pattern": "scan", "experiments_per_page": 1}]
    build(tmp_path, groups, {"title_of_report": "Report"})
    extracted = subprocess.run(["pdftotext", "-f", "2", "-l", "2", str(tmp_path / "report.pdf"), "-"],
                               capture_output=True, text=True, check=True).stdout
    assert ARABIC in extracted
    # Shaped: a letter is drawn in its joined forms (initial, medial, final),
    # so one character is reached from several glyphs of the font.
    reader = PdfReader(tmp_path / "report.pdf")
    glyphs_per_letter = {}
    for font in reader.pages[1]["/Resources"]["/Font"].values():
        font = font.get_object()
        if "/ToUnicode" not in font:
            continue
        cmap = font["/ToUnicode"].get_object().get_data().decode("latin-1")
        for glyph, text in re.findall(r"<([0-9A-Fa-f]+)>\s*<([0-9A-Fa-f]+)>", cmap):
            letter = bytes.fromhex(text).decode("utf-16-be", errors="replace")
            glyphs_per_letter.setdefault(letter, set()).add(glyph)
    assert any(len(glyphs_per_letter.get(letter, ())) > 1 for letter in "مال")


def test_character_no_font_has_is_a_question_mark_with_one_warning(tmp_path, capsys):
    make_image(tmp_path / "scan_1.png", (40, 30))
    name = "Signal \U000F0001 level"  # a private-use character no font draws
    build(tmp_path, [{"name": name, "pattern": "scan", "experiments_per_page": 1}], {"title_of_report": "R"})
    text = " ".join(page_texts(tmp_path / "report.pdf"))
    assert "Signal ? level" in text
    warnings = [line for line in capsys.readouterr().err.splitlines() if "written as \"?\"" in line]
    assert len(warnings) == 1 and name in warnings[0]


@pytest.mark.skipif(not subprocess.run(["fc-list", ":charset=6e2c", "file"], capture_output=True,
                                       text=True).stdout.strip(), reason="no CJK font is installed")
def test_cjk_is_drawn_with_a_font_fontconfig_finds(tmp_path, capsys):
    make_image(tmp_path / "scan_1.png", (40, 30))
    reader = build(tmp_path, [{"name": "測定 Messung 結果", "pattern": "scan", "experiments_per_page": 1}],
                   {"title_of_report": "R"})
    assert "測定 Messung 結果" in page_texts(tmp_path / "report.pdf")[1]
    fonts = {font for text, font in texts_with_fonts(reader) if "測" in text or "結" in text}
    assert fonts and all("DejaVu" not in font for font in fonts)
    assert "cannot show" not in capsys.readouterr().err


@pytest.fixture
def no_system_fonts(tmp_path, monkeypatch):
    """fontconfig, and so the report, sees an empty font folder: no DejaVu
    Sans and nothing to find for a missing character."""
    (tmp_path / "fonts").mkdir()
    config = tmp_path / "fonts.conf"
    config.write_text(f'<?xml version="1.0"?>\n<fontconfig><dir>{tmp_path / "fonts"}</dir>'
                      f'<cachedir>{tmp_path / "font-cache"}</cachedir></fontconfig>\n')
    monkeypatch.setenv("FONTCONFIG_FILE", str(config))
    assert "DejaVu" not in subprocess.run(["fc-match", "-f", "%{family}", "DejaVu Sans"], capture_output=True,
                                          text=True).stdout
    return tmp_path / "fonts"


def fonts_of(reader, wanted):
    """The base fonts that draw the runs holding `wanted`."""
    return {font for text, font in texts_with_fonts(reader) if wanted in text}


def test_without_dejavu_the_built_in_font_draws_the_latin_text_a_font_file_lacks(tmp_path, no_system_fonts,
                                                                                  capsys):
    font = cut_font(tmp_path / "arabic.ttf", "ArabicOnly", range(0x0600, 0x0700))
    make_image(tmp_path / "scan_1.png", (40, 30))
    main_page = {"title_of_report": "Report " + ARABIC, "dut_inform": "Probe 7 – 5 €"}
    groups = [{"name": "Latin group", "pattern": "scan", "experiments_per_page": 1}]
    reader = build(tmp_path, groups, main_page, font_file=str(font))
    text = " ".join(page_texts(tmp_path / "report.pdf"))
    for label in ["DUT", "Probe 7 – 5 €", "Latin group", "Figure 1:", "Lab Report - Page 2"]:
        assert label in text
    fonts = {font for _, font in texts_with_fonts(reader)}
    assert not any("DejaVu" in font for font in fonts), fonts
    for label in ["DUT", "Probe 7", "Latin group", "Lab Report"]:
        assert fonts_of(reader, label) <= {"/Helvetica", "/Helvetica-Bold"}, label
    # In a text of both scripts each is drawn by the font that has it.
    assert fonts_of(reader, "Report") <= {"/Helvetica-Bold", "/Helvetica"}
    assert any("ArabicOnly" in font for font in fonts)
    assert ARABIC in subprocess.run(["pdftotext", str(tmp_path / "report.pdf"), "-"], capture_output=True,
                                    text=True, check=True).stdout
    assert "cannot show" not in capsys.readouterr().err


@pytest.mark.parametrize("font_covers, written, drawn, replaced", [
    # A Latin font_file without the euro sign or the micro sign: the
    # built-in font has them and draws the whole text.
    (range(0x20, 0x7F), "Cost 5 € per µm", ["Cost 5 € per µm"], False),
    # Latin-1 letters beside a character no font has: those are drawn,
    # that one is "?", and said so.
    (range(0x20, 0x7F), "Probe µ ⊕ 3", ["Probe µ ? 3"], True),
    # Beside Arabic the built-in font draws Latin-1 only: the euro sign
    # becomes "?" too.
    (range(0x0600, 0x0700), ARABIC + " 5 €", [ARABIC, "5 ?"], True),
], ids=["whole text in the built-in font", "latin-1 kept, unknown replaced", "beside arabic"])
def test_without_dejavu_characters_only_the_built_in_font_has(tmp_path, no_system_fonts, capsys, font_covers,
                                                              written, drawn, replaced):
    font = cut_font(tmp_path / "cut.ttf", "CutFont", font_covers)
    make_image(tmp_path / "scan_1.png", (40, 30))
    reader = build(tmp_path, [{"name": written, "pattern": "scan", "experiments_per_page": 1}],
                   {"title_of_report": "R"}, font_file=str(font))
    assert not any("DejaVu" in font for _, font in texts_with_fonts(reader))
    extracted = subprocess.run(["pdftotext", "-f", "2", "-l", "2", str(tmp_path / "report.pdf"), "-"],
                               capture_output=True, text=True, check=True).stdout
    # (pdftotext marks a right-to-left run with embedding controls)
    assert all(piece in extracted.replace("\u202b", "").replace("\u202c", "") for piece in drawn), extracted
    warnings = [line for line in capsys.readouterr().err.splitlines() if "written as \"?\"" in line]
    assert warnings == ([f'WARNING PicBook: The PDF font cannot show some characters of "{written}"; '
                         'they are written as "?".'] if replaced else [])


def test_without_dejavu_or_font_file_a_font_fontconfig_finds_still_draws_other_scripts(tmp_path, no_system_fonts,
                                                                                       capsys):
    cut_font(no_system_fonts / "arabic.ttf", "ArabicOnly", range(0x0600, 0x0700))
    make_image(tmp_path / "scan_1.png", (40, 30))
    reader = build(tmp_path, [{"name": "Messung " + ARABIC, "pattern": "scan", "experiments_per_page": 1}],
                   {"title_of_report": "R"})
    extracted = subprocess.run(["pdftotext", "-f", "2", "-l", "2", str(tmp_path / "report.pdf"), "-"],
                               capture_output=True, text=True, check=True).stdout
    assert "Messung" in extracted and ARABIC in extracted, extracted
    assert fonts_of(reader, "Messung") <= {"/Helvetica", "/Helvetica-Bold"}
    assert any("ArabicOnly" in font for _, font in texts_with_fonts(reader))
    assert "cannot show" not in capsys.readouterr().err
