"""Source PDFs for the sheet-tile tests, and ways to see what landed where."""
import subprocess
from pathlib import Path

from PIL import Image
from pypdf import PdfReader, PdfWriter
from pypdf.generic import DecodedStreamObject, NameObject, NumberObject, RectangleObject


def page_content(writer_page, writer, operators):
    stream = DecodedStreamObject()
    stream.set_data(operators.encode("ascii"))
    writer_page[NameObject("/Contents")] = writer._add_object(stream)


def make_pdf(path, pages, rotate=None, cropbox=None, encrypt=None, rotate_as="page"):
    """A PDF with one page per entry of `pages`: (width, height, fill colour
    as r g b in 0..1 or None). Every page is filled in its colour and has a
    red 10 % square in the top-left corner of its crop box. `rotate_as` puts
    the /Rotate entry on the "page", in an "indirect" object, or on the
    page tree ("inherited")."""
    writer = PdfWriter()
    for width, height, fill in pages:
        page = writer.add_blank_page(width=width, height=height)
        x1, y1, x2, y2 = cropbox or (0, 0, width, height)
        left, top = min(x1, x2), max(y1, y2)
        side = max(min(abs(x2 - x1), abs(y2 - y1)), 1) / 10
        ops = ""
        if fill is not None:
            ops += f"{fill[0]} {fill[1]} {fill[2]} rg 0 0 {width} {height} re f "
        ops += f"1 0 0 rg {left} {top - side} {side} {side} re f"
        page_content(page, writer, ops)
        if rotate is not None and rotate_as != "inherited":
            value = NumberObject(rotate)
            page[NameObject("/Rotate")] = writer._add_object(value) if rotate_as == "indirect" else value
        if cropbox is not None:
            page[NameObject("/CropBox")] = RectangleObject(cropbox)
    if rotate is not None and rotate_as == "inherited":
        writer.root_object["/Pages"].get_object()[NameObject("/Rotate")] = NumberObject(rotate)
    if encrypt:
        writer.encrypt(user_password=encrypt, algorithm="RC4-128")
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as out:
        writer.write(out)
    return path


def single_pages(folder, names, size=(595, 842)):
    """One single-page file per name, each page in its own grey."""
    return [make_pdf(Path(folder) / name, [(*size, (0.1 * (i + 1),) * 3)]) for i, name in enumerate(names)]


def render(pdf_path, page, out_prefix, dpi=36):
    """The page's crop box rendered by pdftoppm, as a Pillow RGB image."""
    subprocess.run(["pdftoppm", "-cropbox", "-r", str(dpi), "-png", "-singlefile", "-f", str(page), "-l", str(page),
                    str(pdf_path), str(out_prefix)], check=True)
    return Image.open(f"{out_prefix}.png").convert("RGB")


def red_centre(image):
    """Centre of the strongly red pixels as fractions of the image (top down)."""
    xs, ys = [], []
    pixels = image.load()
    for y in range(image.height):
        for x in range(image.width):
            r, g, b = pixels[x, y]
            if r > 200 and g < 60 and b < 60:
                xs.append(x)
                ys.append(y)
    assert xs, "no red mark found"
    return (sum(xs) / len(xs) + 0.5) / image.width, (sum(ys) / len(ys) + 0.5) / image.height


def outline(path):
    """(title, 0-based page number) of every top-level outline item."""
    reader = PdfReader(path)
    return [(item.title, reader.get_destination_page_number(item)) for item in reader.outline]


def text_pdf(path, pages, words=400, seed=0):
    """A text PDF written by fpdf2 (compressed, core font): `pages` pages of
    `words` pseudo-words each."""
    import random

    from fpdf import FPDF

    rng = random.Random(seed)
    pdf = FPDF()
    pdf.set_font("helvetica", size=9)
    for _ in range(pages):
        pdf.add_page()
        text = " ".join("".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
                        for _ in range(words))
        pdf.multi_cell(0, 4, text)
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    pdf.output(str(path))
    return path


def qpdf_check(path):
    """qpdf's structural check of a PDF, when qpdf is installed."""
    import shutil

    if shutil.which("qpdf") is None:
        return
    result = subprocess.run(["qpdf", "--check", str(path)], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr


def page_objects(path):
    """How many page objects the file holds, in its page tree or not (also
    inside object streams, which qpdf unpacks first)."""
    import re
    import tempfile

    with tempfile.TemporaryDirectory() as folder:
        plain = Path(folder) / "plain.pdf"
        subprocess.run(["qpdf", "--object-streams=disable", "--preserve-unreferenced", str(path), str(plain)],
                       check=True)
        return len(re.findall(rb"/Type\s*/Page(?![a-zA-Z])", plain.read_bytes()))
