"""Writes the example PDFs of the sheet-tile demo (run once; the PDFs are
kept in the repository): files of different page counts, page sizes and
/Rotate entries, each page marked so that its orientation can be checked."""
from io import BytesIO
from pathlib import Path

from fpdf import FPDF
from pypdf import PdfReader, PdfWriter
from pypdf.annotations import Highlight
from pypdf.generic import ArrayObject, FloatObject, RectangleObject

HERE = Path(__file__).resolve().parent


def document(name, pages, size, orientation="P", color=(30, 90, 160)):
    pdf = FPDF(orientation=orientation, unit="pt", format=size)
    pdf.set_auto_page_break(False)
    for number in range(1, pages + 1):
        pdf.add_page()
        w, h = pdf.w, pdf.h
        pdf.set_fill_color(*color)
        pdf.rect(0, 0, w, h * 0.12, style="F")
        pdf.set_text_color(255)
        pdf.set_font("helvetica", "B", h * 0.04)
        pdf.set_xy(0, h * 0.03)
        pdf.cell(w, h * 0.06, f"{name}  -  page {number} of {pages}", align="C")
        pdf.set_text_color(0)
        pdf.set_font("helvetica", "B", h * 0.3)
        pdf.set_xy(0, h * 0.3)
        pdf.cell(w, h * 0.3, str(number), align="C")
        pdf.set_font("helvetica", "", h * 0.03)
        pdf.set_xy(w * 0.08, h * 0.8)
        pdf.multi_cell(w * 0.84, h * 0.04, "The coloured band marks the top of the page as it was drawn.", align="C")
        # A filled corner marks the drawing's top left.
        pdf.set_fill_color(220, 40, 40)
        pdf.rect(0, h * 0.12, w * 0.08, w * 0.08, style="F")
    return pdf.output()


def write(file_name, data, rotate=0, cropbox=None):
    writer = PdfWriter()
    from io import BytesIO

    for page in PdfReader(BytesIO(bytes(data))).pages:
        page = writer.add_page(page)
        if rotate:
            page.rotation = rotate
        if cropbox:
            page.cropbox = RectangleObject(cropbox)
    with open(HERE / file_name, "wb") as out:
        writer.write(out)


write("01_protocol.pdf", document("Protocol", 3, "A4"))
write("02_chart_landscape.pdf", document("Chart", 2, "A4", "L", (20, 130, 60)))
write("03_scan_rotate90.pdf", document("Scan", 2, "A4", color=(140, 60, 150)), rotate=90)
write("04_letter_rotate270.pdf", document("Letter", 1, "Letter", color=(200, 120, 0)), rotate=270)
write("05_receipt_rotate180.pdf", document("Receipt", 1, (300, 500), color=(90, 90, 90)), rotate=180,
      cropbox=(20, 20, 280, 480))


def linked_notes():
    """Two pages whose first page links to the second, to the web, and
    carries a highlight and a note: all of them must work on the sheet."""
    pdf = FPDF(unit="pt", format="A4")
    pdf.set_font("helvetica", "B", 28)
    pdf.add_page()
    results = pdf.add_link()
    pdf.set_xy(60, 80)
    pdf.cell(0, 40, "Notes  -  page 1 of 2")
    pdf.set_font("helvetica", "", 22)
    pdf.set_xy(60, 200)
    pdf.set_text_color(20, 60, 200)
    pdf.cell(0, 30, "Go to the results on page 2", link=results)
    pdf.set_xy(60, 260)
    pdf.cell(0, 30, "The project's web page", link="https://example.org/")
    pdf.set_text_color(0)
    pdf.set_xy(60, 340)
    pdf.cell(0, 30, "A highlighted measurement")
    pdf.text_annotation(400, 400, "A note stays beside its line.")
    pdf.add_page()
    pdf.set_link(results, page=2)
    pdf.set_font("helvetica", "B", 28)
    pdf.set_xy(60, 80)
    pdf.cell(0, 40, "Results  -  page 2 of 2")
    # The highlight is added by pypdf, which writes its rectangle as the
    # standard has it.
    writer = PdfWriter(clone_from=PdfReader(BytesIO(bytes(pdf.output()))))
    quad = (60, 501.9, 330, 501.9, 60, 471.9, 330, 471.9)
    writer.add_annotation(0, Highlight(rect=(60, 471.9, 330, 501.9), quad_points=ArrayObject(map(FloatObject, quad)),
                                        highlight_color="ffee00"))
    with open(HERE / "06_linked_notes.pdf", "wb") as out:
        writer.write(out)


linked_notes()
