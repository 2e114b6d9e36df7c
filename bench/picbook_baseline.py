"""Baseline for the picbook benchmark: a plain fpdf2 script that draws the
same report (contents page, the same page breaks, titles, images at the same
sizes, captions) from the same configuration, with nothing around it."""
import json
import math
import os
import sys

from fpdf import FPDF
from PIL import Image


class Report(FPDF):
    def header(self):
        if self.page_no() > 1:
            self.set_font("helvetica", "B", 10)
            self.set_text_color(150)
            self.cell(0, 10, f"Lab Report - Page {self.page_no()}", align="R")
            self.ln(10)


def main(config_path):
    with open(config_path, encoding="utf-8") as handle:
        data = json.load(handle)
    conf, groups = data["config"], data["groups"]
    folder = conf["image_folder"]
    page_h, top, bottom = conf["page_height"], conf["top_margin"], conf["bottom_margin"]
    title_buffer, row_gap = conf["title_buffer"], conf["row_gap"]
    names = sorted(n for n in os.listdir(folder) if n.lower().endswith(".jpg"))

    pdf = Report()
    pdf.set_auto_page_break(False)
    pdf.set_margins(15, top, 15)
    pdf.add_page()
    pdf.set_font("helvetica", "B", 20)
    pdf.cell(0, 20, data["main_page"]["title_of_report"], align="C", new_x="LMARGIN", new_y="NEXT")
    pdf.ln(10)
    pdf.set_font("helvetica", "U", 12)
    links = {}
    for n, group in enumerate(groups, 1):
        links[group["name"]] = pdf.add_link()
        pdf.cell(0, 10, f"{n}. {group['name']}", new_x="LMARGIN", new_y="NEXT", link=links[group["name"]])

    for group in groups:
        images = [os.path.join(folder, n) for n in names if group["pattern"] in n]
        cols, per_page = group["cols_per_row"], group["experiments_per_page"]
        budget = (page_h - top - bottom) / per_page
        cell_w = (180 - (cols - 1) * 5) / cols
        rows = math.ceil(len(images) / cols)
        ratio = 0
        for path in images:
            with Image.open(path) as image:
                ratio = max(ratio, image.size[1] / image.size[0])
        max_h = (budget - title_buffer) / rows - row_gap
        cell_h = min(cell_w * ratio, max_h)
        if cell_h < min(25, cell_w * ratio):
            cell_h = cell_w * ratio  # unreadably small: full width, continued on further pages
        cell_w = cell_h / ratio
        y = pdf.get_y()
        if y + budget > page_h - bottom:
            pdf.add_page()
        elif y > top + 10:
            pdf.set_draw_color(200)
            pdf.line(15, y + 5, 195, y + 5)
            pdf.set_y(y + 10)
        pdf.set_link(links[group["name"]], y=pdf.get_y(), page=pdf.page_no())
        pdf.set_font("helvetica", "B", 14)
        pdf.cell(0, 8, group["name"], new_x="LMARGIN", new_y="NEXT")
        pdf.ln(1)
        row_top = pdf.get_y()
        for first in range(0, len(images), cols):
            if row_top + cell_h + 9 > page_h - bottom:
                pdf.add_page()
                pdf.set_font("helvetica", "B", 14)
                pdf.cell(0, 8, group["name"] + " (continued)", new_x="LMARGIN", new_y="NEXT")
                pdf.ln(1)
                row_top = pdf.get_y()
            for i, path in enumerate(images[first:first + cols]):
                x = 15 + i * (cell_w + 5)
                pdf.image(path, x=x, y=row_top, w=cell_w, h=cell_h)
                pdf.set_xy(x, row_top + cell_h + 1)
                pdf.set_font("helvetica", "B", 8)
                caption = os.path.splitext(os.path.basename(path))[0][len("Result_"):]
                pdf.multi_cell(cell_w, 4, f"Figure {i + 1}:  {caption}", align="C")
            row_top += cell_h + row_gap
    pdf.output(os.path.join(folder, conf["output_file"]))


if __name__ == "__main__":
    main(sys.argv[1])
