"""Baseline for the flowpage benchmark: the same mmdc calls and Markdown
conversions as the tool, done by a plain script, pages written by filling
the same templates."""
import json
import os
import subprocess
import sys

import markdown

from velkit import flowpage


def main(config_path):
    with open(config_path, encoding="utf-8") as handle:
        conf = json.load(handle)["config"]
    source, out = conf["input_folder"], conf["output_folder"]
    os.makedirs(out, exist_ok=True)
    items = []
    for name in os.listdir(source):
        if name.lower().endswith(".md"):
            with open(os.path.join(source, name), encoding="utf-8") as handle:
                html = markdown.markdown(handle.read(), extensions=["fenced_code", "tables"])
            base = os.path.splitext(name)[0]
            with open(os.path.join(out, base + ".html"), "w", encoding="utf-8") as handle:
                handle.write(flowpage.PAGE_TEMPLATE.format(title=base, body_content=html))
            items.append(base)
    for name in os.listdir(source):
        if name.lower().endswith(".mmd"):
            base = os.path.splitext(name)[0]
            svg = os.path.join(out, base + ".svg")
            subprocess.run(["mmdc", "-i", os.path.join(source, name), "-o", svg], check=True)
            with open(svg, encoding="utf-8") as handle:
                drawing = handle.read()
            with open(os.path.join(out, base + ".html"), "w", encoding="utf-8") as handle:
                handle.write(flowpage.PAGE_TEMPLATE.format(title=base, body_content=drawing))
            items.append(base)
    section = "".join(f'<li><a href="{b}.html">{b}</a></li>' for b in items)
    with open(os.path.join(out, "index.html"), "w", encoding="utf-8") as handle:
        handle.write(flowpage.INDEX_TEMPLATE.format(index_title="Bench", md_section=section, chart_section=""))


if __name__ == "__main__":
    main(sys.argv[1])
