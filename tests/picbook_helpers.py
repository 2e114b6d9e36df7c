"""Reading what picbook placed in a PDF: image boxes, links, outline."""
from pypdf import PdfReader
from pypdf.generic import ContentStream

MM = 72 / 25.4  # points per millimetre
PAGE_W, PAGE_H = 210, 297


def _times(m, n):
    """The matrix product m x n of two PDF matrices (a b c d e f)."""
    a, b, c, d, e, f = m
    A, B, C, D, E, F = n
    return (a * A + b * C, a * B + b * D, c * A + d * C, c * B + d * D, e * A + f * C + E, e * B + f * D + F)


def placed_matrices(page):
    """(name, matrix) of every image drawn on the page: the unit square of
    the image onto the page, in points."""
    placed = []
    stack, matrix = [], (1, 0, 0, 1, 0, 0)
    for operands, operator in ContentStream(page.get_contents(), page.pdf).operations:
        if operator == b"q":
            stack.append(matrix)
        elif operator == b"Q":
            matrix = stack.pop()
        elif operator == b"cm":
            matrix = _times(tuple(float(v) for v in operands), matrix)
        elif operator == b"Do":
            placed.append((str(operands[0]), matrix))
    return placed


def placed_images(page):
    """(name, x, y, w, h) in millimetres from the page's top-left, for every
    image drawn on the page: the box its drawn (and perhaps turned) unit
    square covers."""
    placed = []
    for name, (a, b, c, d, e, f) in placed_matrices(page):
        xs = [e, e + a, e + c, e + a + c]
        ys = [f, f + b, f + d, f + b + d]
        placed.append((name, min(xs) / MM, PAGE_H - max(ys) / MM, (max(xs) - min(xs)) / MM,
                       (max(ys) - min(ys)) / MM))
    return placed


def all_placed(reader):
    return [(number, *image) for number, page in enumerate(reader.pages, 1) for image in placed_images(page)]


def xobject(page, name):
    return page["/Resources"]["/XObject"][name].get_object()


def page_of(reader, reference):
    return next(i for i, page in enumerate(reader.pages, 1) if page.indirect_reference.idnum == reference.idnum)


def contents_links(reader):
    """(page of the entry, its rectangle, the destination page) of every link."""
    links = []
    for number, page in enumerate(reader.pages, 1):
        for annotation in page.get("/Annots", []):
            annotation = annotation.get_object()
            if "/Dest" in annotation:
                rect = [float(v) for v in annotation["/Rect"]]
                links.append((number, rect, page_of(reader, annotation["/Dest"][0])))
    return links


def page_texts(path):
    return [" ".join(page.extract_text().split()) for page in PdfReader(path).pages]
