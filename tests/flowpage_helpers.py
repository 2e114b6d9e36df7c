"""Helpers for the flowpage site tests: a stand-in renderer that counts its
calls, input trees, and a small link checker over a written site."""
import json
import os
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import unquote, urlsplit

from conftest import run_program

# Draws each diagram as an SVG holding its text; "click X href "u"" becomes
# a link, as the real renderer draws it. A diagram holding "bad" is refused
# (status 1, as the renderer does for a parse error), one holding "huge" is
# drawn as the renderer's error picture. Batches ("-i x.md -o y.md") draw
# every mermaid block to y-1.svg, y-2.svg, ... and stop at the first refused
# one. Like the real renderer it cannot open a name that is not ASCII. Every
# call is logged to $MMDC_CALLS; with $MMDC_SECONDS_EACH each drawing takes
# that long, as in a browser.
STAND_IN = r'''#!/usr/bin/env python3
import html, os, re, sys, time
args = sys.argv[1:]
with open(os.environ["MMDC_CALLS"], "a", encoding="utf-8", errors="surrogateescape") as log:
    log.write(" ".join(args) + "\n")
if not all(arg.isascii() for arg in args):
    sys.exit("Error: ENOENT: no such file or directory, open '%s'" % args[1].encode("utf-8", "surrogateescape"))
source, out = args[1], args[3]
text = open(source, encoding="utf-8").read()

def draw(body, path):
    time.sleep(float(os.environ.get("MMDC_SECONDS_EACH", "0")))
    if "bad" in body:
        print("Error: Parse error on line 2:\n...A --> \n-----^\n    at renderMermaid (index.js:480:22)", file=sys.stderr)
        sys.exit(1)
    if "huge" in body:
        svg = '<svg aria-roledescription="error"><text>Maximum text size in diagram exceeded</text></svg>'
    else:
        links = "".join('<a xlink:href="%s"><text>%s</text></a>' % (html.escape(url), node)
                        for node, url in re.findall(r'click (\w+) href "([^"]*)"', body))
        svg = ('<svg id="my-svg" viewBox="0 0 2400 60" style="max-width: 2400px;"><text>%s</text>'
               '<style>#my-svg .node{}</style><marker id="my-svg_arrow"/>%s</svg>' % (html.escape(body), links))
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(svg)

if out.endswith(".md"):
    print("Found some mermaid charts in Markdown input")
    for n, match in enumerate(re.finditer(r"^```mermaid\n(.*?)```$", text, re.S | re.M), 1):
        draw(match.group(1), "%s-%d.svg" % (out[:-3], n))
        print(" ok %s-%d.svg" % (out[:-3], n))
else:
    print("Generating single mermaid chart")
    draw(text, out)
'''

class StandIn:
    """The stand-in first on PATH; `calls()` gives the calls made since the last look."""

    def __init__(self, tmp_path):
        folder = tmp_path / "bin"
        folder.mkdir(exist_ok=True)
        (folder / "mmdc").write_text(STAND_IN)
        (folder / "mmdc").chmod(0o755)
        self.log = tmp_path / "calls.txt"
        self.log.write_text("")
        self.env = {"PATH": f"{folder}{os.pathsep}{os.environ['PATH']}", "MMDC_CALLS": str(self.log)}

    def calls(self):
        lines = self.log.read_text().splitlines()
        self.log.write_text("")
        return lines

    __call__ = calls


def make_tree(tmp_path, files, **config):
    """Input folder `in` with `files` (relative path -> text or bytes); returns the configuration path."""
    source = tmp_path / "in"
    source.mkdir(exist_ok=True)
    for name, content in files.items():
        target = source / name
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, bytes):
            target.write_bytes(content)
        else:
            target.write_text(content, encoding="utf-8")
    config.setdefault("output_folder", str(tmp_path / "out"))
    path = tmp_path / "c.json"
    path.write_text(json.dumps({"config": {"input_folder": str(source), **config}}))
    return path


def flowpage(tmp_path, config_path, stand_in):
    return run_program(["flowpage", "-c", str(config_path)], tmp_path, stand_in.env)


def warnings_of(result):
    return [line.split("WARNING FlowPage: ", 1)[1] for line in result.stderr.splitlines()
            if "WARNING FlowPage: " in line and "Converted " not in line]


class _Links(HTMLParser):
    def __init__(self):
        super().__init__()
        self.links, self.ids = [], set()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for key in ("id", "name"):
            if attrs.get(key):
                self.ids.add(attrs[key])
        for key in ("href", "src", "xlink:href"):
            if attrs.get(key) is not None:
                self.links.append(attrs[key])


def parse_page(path):
    parser = _Links()
    parser.feed(path.read_text(encoding="utf-8"))
    return parser


def dead_links(site):
    """Every local link of every page of `site` that leads nowhere: (page, link, why)."""
    pages = {path: parse_page(path) for path in site.rglob("*.html")}
    dead = []
    for page, parsed in pages.items():
        for link in parsed.links:
            parts = urlsplit(link)
            if parts.scheme or link.startswith("//"):
                continue
            target = (page.parent / unquote(parts.path)).resolve() if parts.path else page.resolve()
            if target.is_dir():
                target = target / "index.html"
            if not target.is_file() or site.resolve() not in target.parents:
                dead.append((str(page.relative_to(site)), link, "no file"))
            elif parts.fragment and target.suffix == ".html":
                ids = pages[next(p for p in pages if p.resolve() == target)].ids
                if unquote(parts.fragment) not in ids:
                    dead.append((str(page.relative_to(site)), link, "no anchor"))
    return dead


def mtimes(folder):
    return {str(p.relative_to(folder)): p.stat().st_mtime_ns for p in folder.rglob("*") if p.is_file()}
