"""sheet-tile's worker: file list, geometry through pypdf pages, the merged
PDF's pages, outline and drawing, and saving."""
import os

import pytest
from pypdf import PdfReader
from pypdf.generic import ContentStream

from sheet_tile_helpers import make_pdf, outline, red_centre, render, single_pages
from velkit import sheet_tile


def tiler(folder, output=None, **conf):
    config = {"input_folder": str(folder), "output_file": str(output or folder / "merged.pdf"), **conf}
    return sheet_tile.SheetTiler(config)


def grid(cols, rows, **conf):
    return {"layout": {"cols": cols, "rows": rows}, **conf}


def cell_grey(image, cols, rows, slot, margin_fraction=20 / 595):
    """The colour at the centre of a cell of a rendered portrait page."""
    mx, my = image.width * margin_fraction, image.height * 20 / 842
    cw, ch = (image.width - 2 * mx) / cols, (image.height - 2 * my) / rows
    col, row = slot % cols, slot // cols
    return image.getpixel((int(mx + (col + 0.5) * cw), int(my + (row + 0.5) * ch)))


class TestConstructor:
    def test_attributes_fallbacks_and_log(self, capsys):
        conf = {"layout": {"cols": 3}, "page_size": "Letter"}
        t = sheet_tile.SheetTiler(conf)
        assert t.conf is conf
        assert (t.input_folder, t.output_file) == ("./data_sheet_tile", "./data_sheet_tile/merged_report.pdf")
        assert (t.cols, t.rows, t.is_landscape, t.margin, t.draw_grid) == (3, 1, False, 20, False)
        assert (t.page_width, t.page_height) == (612, 792)
        assert len(t.writer.pages) == 0
        assert t.calculate_cell_layout() == pytest.approx((572 / 3, 752.0))
        assert "INFO SheetTile: [INIT] Layout: 3x1, Landscape=False\n" in capsys.readouterr().err

    def test_landscape_and_template_defaults(self, capsys):
        t = sheet_tile.SheetTiler(sheet_tile.DEFAULT_CONFIG["config"] | {"layout": {"cols": 1, "rows": 1,
                                                                                    "landscape": 1}})
        assert (t.page_width, t.page_height, t.is_landscape) == (842, 595, 1)
        assert t.calculate_cell_layout() == (802.0, 555.0)
        sheet_tile.SheetTiler(sheet_tile.DEFAULT_CONFIG["config"])
        assert "[INIT] Layout: 2x2, Landscape=False" in capsys.readouterr().err.splitlines()[-1]

    def test_grid_values_that_cannot_divide_are_refused(self):
        with pytest.raises(ValueError, match=r"'config.layout.cols' must be a whole number of at least 1 \(got 0\)"):
            sheet_tile.SheetTiler(grid(0, 2)).calculate_cell_layout()


class TestFileList:
    def test_code_point_order_pdfs_only_and_not_the_report(self, tmp_path):
        for name in ["b.pdf", "A.pdf", "a.pdf", "10.pdf", "2.pdf", "report.pdf"]:
            make_pdf(tmp_path / name, [(100, 100, None)])
        (tmp_path / "notes.txt").write_text("x")
        paths, names = tiler(tmp_path, tmp_path / "report.pdf").get_file_list()
        assert names == ["10.pdf", "2.pdf", "A.pdf", "a.pdf", "b.pdf"]
        assert paths == [os.path.join(str(tmp_path), n) for n in names]

    def test_report_reached_through_another_path_is_left_out(self, tmp_path, monkeypatch):
        make_pdf(tmp_path / "a.pdf", [(100, 100, None)])
        make_pdf(tmp_path / "merged.pdf", [(100, 100, None)])
        monkeypatch.chdir(tmp_path)
        assert tiler(tmp_path, "./sub/../merged.pdf").get_file_list()[1] == ["a.pdf"]

    def test_missing_or_empty_folder(self, tmp_path, capsys):
        assert tiler(tmp_path).get_file_list() == ([], [])
        assert "ERROR" not in capsys.readouterr().err
        assert tiler(tmp_path / "none").get_file_list() == ([], [])
        assert f"ERROR SheetTile: Error: Input folder not found: {tmp_path / 'none'}" in capsys.readouterr().err


class TestLayoutParams:
    CELL = (20, 421, 277.5, 401)

    def page(self, tmp_path, **kwargs):
        return PdfReader(make_pdf(tmp_path / "p.pdf", [(595, 842, None)], **kwargs)).pages[0]

    def test_unrotated_a4(self, tmp_path):
        params = tiler(tmp_path)._get_layout_params(self.page(tmp_path), self.CELL)
        assert list(params) == ["scale", "tx", "ty", "rot", "x0", "y0", "src_w", "src_h"]
        assert params["scale"] == pytest.approx(0.443067, abs=1e-6)
        assert (params["tx"], params["ty"]) == (pytest.approx(26.9375), pytest.approx(434.969, abs=1e-3))
        assert (params["rot"], params["x0"], params["y0"], params["src_w"], params["src_h"]) == (0, 0, 0, 595, 842)

    @pytest.mark.parametrize("rotate_as", ["page", "indirect", "inherited"])
    def test_quarter_turn_wherever_the_entry_is(self, tmp_path, rotate_as):
        params = tiler(tmp_path)._get_layout_params(self.page(tmp_path, rotate=90, rotate_as=rotate_as), self.CELL)
        assert (params["rot"], params["src_w"], params["src_h"]) == (90, 842, 595)
        assert params["ty"] == pytest.approx(528.355, abs=1e-3)

    @pytest.mark.parametrize("box", [(36, 36, 631, 878), (631, 878, 36, 36)], ids=["normal", "corners-swapped"])
    def test_crop_box_origin(self, tmp_path, box):
        plain = tiler(tmp_path)._get_layout_params(self.page(tmp_path), self.CELL)
        params = tiler(tmp_path)._get_layout_params(self.page(tmp_path, cropbox=box), self.CELL)
        assert (params["x0"], params["y0"], params["src_w"], params["src_h"]) == (36, 36, 595, 842)
        assert [params[k] for k in ("scale", "tx", "ty")] == [plain[k] for k in ("scale", "tx", "ty")]

    def test_rotation_counts_modulo_360_but_is_reported_as_stored(self, tmp_path):
        params = tiler(tmp_path)._get_layout_params(self.page(tmp_path, rotate=-90), self.CELL)
        assert (params["rot"], params["src_w"]) == (-90, 842)

    def test_page_without_area(self, tmp_path):
        assert tiler(tmp_path)._get_layout_params(self.page(tmp_path, cropbox=(0, 0, 0, 842)), self.CELL) is None


def test_red_frame_page(tmp_path):
    page = tiler(tmp_path)._create_red_frame_page(20, 421, 277.5, 401)
    assert (page.mediabox.width, page.mediabox.height) == (595, 842)
    assert page["/Contents"].get_data() == b"q 1 0 0 RG 2 w 20.00 421.00 277.50 401.00 re S Q"
    assert page["/Resources"] == {}


class TestRun:
    def test_five_single_pages_on_two_by_two(self, tmp_path):
        single_pages(tmp_path / "in", [f"{n}.pdf" for n in "abcde"])
        out = tmp_path / "out" / "m.pdf"
        tiler(tmp_path / "in", out, **grid(2, 2)).run()
        assert len(PdfReader(out).pages) == 2
        assert outline(out) == [("a.pdf", 0), ("b.pdf", 0), ("c.pdf", 0), ("d.pdf", 0), ("e.pdf", 1)]
        first, second = render(out, 1, tmp_path / "p1"), render(out, 2, tmp_path / "p2")
        greys = [cell_grey(first, 2, 2, slot)[0] for slot in range(4)]
        assert greys == pytest.approx([26, 51, 77, 102], abs=3)  # 0.1 .. 0.4 of 255, in slot order
        assert cell_grey(second, 2, 2, 0)[0] == pytest.approx(128, abs=3)
        assert [cell_grey(second, 2, 2, slot) for slot in (1, 2, 3)] == [(255, 255, 255)] * 3

    def test_second_file_continues_in_the_next_cell(self, tmp_path):
        make_pdf(tmp_path / "in" / "a.pdf", [(595, 842, (0, 0, 1))] * 3)
        make_pdf(tmp_path / "in" / "b.pdf", [(595, 842, (0, 1, 0))] * 2)
        out = tmp_path / "m.pdf"
        tiler(tmp_path / "in", out, **grid(2, 2)).run()
        assert outline(out) == [("a.pdf", 0), ("b.pdf", 0)]
        first, second = render(out, 1, tmp_path / "p1"), render(out, 2, tmp_path / "p2")
        assert [cell_grey(first, 2, 2, s) for s in range(4)] == [(0, 0, 255)] * 3 + [(0, 255, 0)]
        assert cell_grey(second, 2, 2, 0) == (0, 255, 0)

    @pytest.mark.parametrize("bad", ["garbage", "encrypted"])
    def test_unreadable_file_uses_no_cell_and_gets_no_outline_item(self, tmp_path, capsys, bad):
        a, _, c = single_pages(tmp_path / "in", ["a.pdf", "b.pdf", "c.pdf"])
        if bad == "garbage":
            (tmp_path / "in" / "b.pdf").write_bytes(b"%PDF-1.4 this is no PDF")
        else:
            make_pdf(tmp_path / "in" / "b.pdf", [(595, 842, (1, 0, 0))], encrypt="secret")
        out = tmp_path / "m.pdf"
        tiler(tmp_path / "in", out, **grid(2, 2)).run()
        errors = [line for line in capsys.readouterr().err.splitlines() if line.startswith("ERROR")]
        assert len(errors) == 1 and errors[0].startswith("ERROR SheetTile: Failed b.pdf: ")
        assert outline(out) == [("a.pdf", 0), ("c.pdf", 0)]
        image = render(out, 1, tmp_path / "p")
        assert cell_grey(image, 2, 2, 1)[0] == pytest.approx(77, abs=3)  # c.pdf right after a.pdf

    def test_grid_frames_every_used_cell_even_an_empty_one(self, tmp_path):
        make_pdf(tmp_path / "in" / "a.pdf", [(595, 842, None), (595, 842, None)])
        make_pdf(tmp_path / "in" / "b.pdf", [(595, 842, None)], cropbox=(0, 0, 0, 0))
        out = tmp_path / "m.pdf"
        tiler(tmp_path / "in", out, debug_grid=True, **grid(2, 2)).run()
        assert outline(out) == [("a.pdf", 0), ("b.pdf", 0)]
        page = PdfReader(out).pages[0]
        ops = ContentStream(page.get_contents(), page.pdf).operations
        frames = [[float(v) for v in ops[i][0]] for i in range(len(ops) - 1)
                  if ops[i][1] == b"re" and ops[i + 1][1] == b"S"]
        assert frames == [[20, 421, 277.5, 401], [297.5, 421, 277.5, 401], [20, 20, 277.5, 401]]

    def test_every_input_failing_writes_nothing(self, tmp_path, capsys):
        (tmp_path / "a.pdf").write_bytes(b"broken")
        tiler(tmp_path, tmp_path / "sub" / "new.pdf").run()
        captured = capsys.readouterr()
        assert "Nothing could be merged" in captured.err and "Success" not in captured.out
        assert not (tmp_path / "sub").exists()

    def test_empty_folder_writes_nothing(self, tmp_path, capsys):
        tiler(tmp_path).run()
        assert "WARNING SheetTile: No PDF files found to merge." in capsys.readouterr().err
        assert list(tmp_path.iterdir()) == []

    def test_output_without_folder_goes_to_the_current_directory(self, tmp_path, monkeypatch, capsys):
        single_pages(tmp_path / "in", ["a.pdf"])
        monkeypatch.chdir(tmp_path)
        tiler(tmp_path / "in", "merged.pdf").run()
        assert capsys.readouterr().out == "Success: merged.pdf\n"
        assert len(PdfReader(tmp_path / "merged.pdf").pages) == 1

    def test_failed_save_keeps_the_earlier_report(self, tmp_path, capsys):
        class FailingWriter:
            def write(self, stream):
                stream.write(b"%PDF-1.7 partial")
                raise OSError("No space left on device")

        single_pages(tmp_path, ["a.pdf"])
        t = tiler(tmp_path, tmp_path / "m.pdf")
        t.run()
        before = (tmp_path / "m.pdf").read_bytes()
        t.writer = FailingWriter()
        t._save_file()
        captured = capsys.readouterr()
        assert "ERROR SheetTile: Save failed: No space left on device" in captured.err
        assert captured.out.count("Success") == 1
        assert (tmp_path / "m.pdf").read_bytes() == before
        assert sorted(p.name for p in tmp_path.iterdir()) == ["a.pdf", "m.pdf"]


@pytest.mark.parametrize("rotate", [0, 90, 180, 270])
@pytest.mark.parametrize("cropbox", [None, (50, 60, 350, 560)], ids=["mediabox", "offset-cropbox"])
def test_page_appears_as_a_viewer_shows_it(tmp_path, rotate, cropbox):
    """The red corner sits at the same place of the placed page as in the
    source page rendered on its own, for every /Rotate; the page is not
    square, so a wrong turn or shift shows."""
    size = (400, 620) if cropbox else (300, 500)
    source = make_pdf(tmp_path / "in" / "s.pdf", [(*size, None)], rotate=rotate, cropbox=cropbox)
    expected = red_centre(render(source, 1, tmp_path / "src", dpi=72))

    out = tmp_path / "m.pdf"
    t = tiler(tmp_path / "in", out, **grid(1, 1, margin=30))
    t.run()
    params = t._get_layout_params(PdfReader(source).pages[0], (30, 30, *t.calculate_cell_layout()))
    image = render(out, 1, tmp_path / "out", dpi=72)
    x, y = red_centre(image)
    width, height = params["src_w"] * params["scale"], params["src_h"] * params["scale"]
    # Fractions of the placed page, top down like the source rendering.
    placed = ((x * 595 - params["tx"]) / width, (params["ty"] + height - (842 - y * 842)) / height)
    assert placed == pytest.approx(expected, abs=0.02)
