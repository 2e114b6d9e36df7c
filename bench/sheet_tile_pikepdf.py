"""Second baseline for the sheet-tile benchmark: a short pikepdf script
that places the same pages the same way (each page a form XObject with its
rotation, fitted into 95 % of the next cell of a cols x rows grid on A4 and
centred, one outline item per file) and writes the result, with nothing
around it: no forms, layers, annotations, links or checks."""
import json
import os
import sys
from pathlib import Path

# `make bench` installs pikepdf beside the project, not into its environment.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "build" / "bench-pikepdf"))
import pikepdf  # noqa: E402
from pikepdf import Name, OutlineItem, Page, Rectangle  # noqa: E402


def main(config_path):
    with open(config_path, encoding="utf-8") as handle:
        conf = json.load(handle)["config"]
    folder, cols, rows, margin = conf["input_folder"], conf["layout"]["cols"], conf["layout"]["rows"], conf["margin"]
    page_w, page_h = 595, 842
    cell_w, cell_h = (page_w - 2 * margin) / cols, (page_h - 2 * margin) / rows
    out = pikepdf.new()
    sources, bookmarks = [], []
    slot, sheet, content = 0, None, []

    def finish():
        if sheet is not None:
            sheet.Contents = out.make_stream("\n".join(content).encode())

    for name in sorted(n for n in os.listdir(folder) if n.endswith(".pdf")):
        source = pikepdf.open(os.path.join(folder, name))
        sources.append(source)
        first = True
        for page in source.pages:
            if slot % (cols * rows) == 0:
                finish()
                out.add_blank_page(page_size=(page_w, page_h))
                sheet, slot, content = Page(out.pages[-1]), 0, []
                sheet.Resources = pikepdf.Dictionary(XObject=pikepdf.Dictionary())
            x = margin + (slot % cols) * cell_w
            y = page_h - margin - (slot // cols + 1) * cell_h
            border_w, border_h = cell_w * 0.025, cell_h * 0.025
            form = out.copy_foreign(page.as_form_xobject(True))
            resource = f"/P{len(out.pages)}_{slot}"
            sheet.Resources.XObject[resource] = form
            content.append(sheet.calc_form_xobject_placement(
                form, Name(resource), Rectangle(x + border_w, y + border_h, x + cell_w - border_w,
                                                y + cell_h - border_h), allow_expand=True).decode())
            if first:
                bookmarks.append(OutlineItem(name, len(out.pages) - 1))
                first = False
            slot += 1
    finish()
    with out.open_outline() as outline:
        outline.root.extend(bookmarks)
    out.save(conf["output_file"])


if __name__ == "__main__":
    main(sys.argv[1])
