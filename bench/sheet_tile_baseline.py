"""Baseline for the sheet-tile benchmark: a plain pypdf script that merges
the same folder the same way (every page fitted into the next cell of a
cols x rows grid on A4, turned by its /Rotate entry, one outline item per
file) and writes the result, with nothing around it."""
import json
import os
import sys

from pypdf import PdfReader, PdfWriter, Transformation


def main(config_path):
    with open(config_path, encoding="utf-8") as handle:
        conf = json.load(handle)["config"]
    folder, cols, rows, margin = conf["input_folder"], conf["layout"]["cols"], conf["layout"]["rows"], conf["margin"]
    page_w, page_h = 595, 842
    cell_w, cell_h = (page_w - 2 * margin) / cols, (page_h - 2 * margin) / rows
    writer = PdfWriter()
    slot, current = 0, None
    for name in sorted(n for n in os.listdir(folder) if n.endswith(".pdf")):
        first = True
        for page in PdfReader(os.path.join(folder, name)).pages:
            if slot % (cols * rows) == 0:
                current, slot = writer.add_blank_page(width=page_w, height=page_h), 0
            x = margin + (slot % cols) * cell_w
            y = page_h - margin - (slot // cols + 1) * cell_h
            box = page.cropbox
            x0, y0, w0, h0 = float(box.left), float(box.bottom), float(box.width), float(box.height)
            rot = page.rotation
            src_w, src_h = (h0, w0) if rot in (90, 270) else (w0, h0)
            s = min(cell_w / src_w, cell_h / src_h) * 0.95
            tx, ty = x + (cell_w - src_w * s) / 2, y + (cell_h - src_h * s) / 2
            op = Transformation().translate(tx=-x0, ty=-y0)
            if rot == 90:
                op = op.rotate(-90).translate(tx=0, ty=src_h)
            elif rot == 180:
                op = op.rotate(-180).translate(tx=src_w, ty=src_h)
            elif rot == 270:
                op = op.rotate(-270).translate(tx=src_w, ty=0)
            current.merge_transformed_page(page, op.scale(sx=s, sy=s).translate(tx=tx, ty=ty), expand=False)
            if first:
                writer.add_outline_item(title=name, page_number=current)
                first = False
            slot += 1
    with open(conf["output_file"], "wb") as out:
        writer.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
