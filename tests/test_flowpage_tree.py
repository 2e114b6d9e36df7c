"""flowpage over a documentation tree: pages mirrored, links in every
direction, navigation and search, link checks and strict runs, fences
wherever Markdown allows them, front matter, and quiet reruns."""
import json
import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

from flowpage_helpers import StandIn, dead_links, flowpage, make_tree, mtimes, parse_page, warnings_of


@pytest.fixture
def stand_in(tmp_path):
    return StandIn(tmp_path)


TREE = {
    "README.md": "# Home\n\nSee the [guide](guide/), [setup](guide/setup.md#install) and the "
                 "[reference](api/v1/ref.md). Mail <team@example.org> or [us](mailto:us@example.org).\n",
    "guide/README.md": "# Guide\n\nBack [home](../README.md), on to [calls](../api/v1/ref.md#calls), "
                       "[setup](setup.md) and the [flow](../api/v1/flow.mmd).\n\n![pic](img/pic.png)\n",
    "guide/setup.md": "# Setup\n\n## Install\n\nRead [the API](../api/) first; see [top](#install).\n",
    "guide/img/pic.png": b"\x89PNG",
    "api/index.md": "# API\n\n[v1 reference](v1/ref.md)\n",
    "api/v1/ref.md": "# Reference\n\n## Calls\n\nThe zephyrine call. Back to [setup](../../guide/setup.md#install), "
                     "[home](../../README.md) and [the index](../../).\n",
    "api/v1/flow.mmd": "graph LR\n  A-->B\n",
    ".hidden/secret.md": "# Not published\n",
}


def test_three_level_tree_links_up_down_and_across(tmp_path, stand_in):
    config = make_tree(tmp_path, TREE)
    result = flowpage(tmp_path, config, stand_in)
    assert result.returncode == 0, result.stderr
    assert warnings_of(result) == []
    assert "INFO FlowPage: Converted 5 documents and 1 diagram" in result.stderr
    out = tmp_path / "out"
    pages = sorted(str(p.relative_to(out)) for p in out.rglob("*.html"))
    assert pages == ["README.html", "api/index.html", "api/v1/flow.html", "api/v1/ref.html", "guide/README.html",
                     "guide/setup.html", "index.html"]
    assert (out / "guide" / "img" / "pic.png").read_bytes() == b"\x89PNG"
    assert dead_links(out) == []
    # A link to a folder goes to the folder's page; the top folder's page is the index.
    assert 'href="guide/README.html"' in (out / "README.html").read_text()
    assert 'href="../index.html"' in (out / "guide" / "setup.html").read_text()
    assert 'href="../../index.html">the index' in (out / "api" / "v1" / "ref.html").read_text()
    # The index groups its items by folder, each folder's page first.
    index = (out / "index.html").read_text()
    groups = re.findall(r'<h4 class="folder">\S+ ([^<]+)</h4><ul>(.*?)</ul>', index)
    assert [(folder, re.findall(r'href="([^"]+)"', items)) for folder, items in groups] == [
        ("api/", ["api/index.html"]), ("api/v1/", ["api/v1/ref.html"]), ("guide/", ["guide/README.html", "guide/setup.html"]),
        ("api/v1/", ["api/v1/flow.html"])]


def test_navigation_and_page_turns_on_every_page(tmp_path, stand_in):
    config = make_tree(tmp_path, TREE)
    assert flowpage(tmp_path, config, stand_in).returncode == 0
    out = tmp_path / "out"
    order = ["index.html", "README.html", "api/index.html", "api/v1/ref.html", "api/v1/flow.html",
             "guide/README.html", "guide/setup.html"]
    for n, name in enumerate(order):
        html = (out / name).read_text()
        nav = re.search(r'<nav class="site-nav".*?</nav>', html).group(0)
        assert len(re.findall(r"<li><a ", nav)) == 6, name
        current = re.findall(r'<a [^>]*href="([^"]+)"[^>]*aria-current="page"', nav)
        assert [os.path.normpath(os.path.join(os.path.dirname(name), c)) for c in current] == [name]
        turns = dict(re.findall(r'rel="(prev|next)" href="([^"]+)"', html))
        expected = {}
        if n > 0:
            expected["prev"] = order[n - 1]
        if n + 1 < len(order):
            expected["next"] = order[n + 1]
        assert {k: os.path.normpath(os.path.join(os.path.dirname(name), v)) for k, v in turns.items()} == expected
        assert '<meta name="viewport" content="width=device-width, initial-scale=1">' in html


def test_search_index_holds_the_words_of_nested_pages(tmp_path, stand_in):
    config = make_tree(tmp_path, TREE)
    assert flowpage(tmp_path, config, stand_in).returncode == 0
    script = (tmp_path / "out" / "_flowpage" / "search-index.js").read_text()
    entries = json.loads(script.split("=", 1)[1].strip().rstrip(";"))
    ref = next(e for e in entries if e["u"] == "api/v1/ref.html")
    assert "zephyrine" in ref["x"] and ref["t"] == "Reference" and ["Calls", "calls"] in ref["h"]
    assert all("Not published" not in e["x"] for e in entries)
    # The pages read without scripts: the search box stays hidden until the script shows it.
    assert '<div class="site-search" role="search" hidden' in (tmp_path / "out" / "index.html").read_text()


@pytest.mark.parametrize("layout", ["document", "diagram", "folder"])
def test_symbolic_links_leaving_the_input_folder_are_not_converted(tmp_path, stand_in, layout):
    secret = tmp_path / "private"
    secret.mkdir()
    (secret / "secret.md").write_text("# Secret text\n")
    (secret / "secret.mmd").write_text("graph LR\n  secret-->text\n")
    config = make_tree(tmp_path, {"a.md": "# A"})
    link = {"document": ("leak.md", secret / "secret.md"), "diagram": ("leak.mmd", secret / "secret.mmd"),
            "folder": ("leak", secret)}[layout]
    os.symlink(link[1], tmp_path / "in" / link[0])
    result = flowpage(tmp_path, config, stand_in)
    assert result.returncode == 0, result.stderr
    if layout == "folder":
        assert warnings_of(result) == []
        assert "INFO FlowPage: leak: folder not entered: it is a symbolic link that leads outside" in result.stderr
    else:
        assert warnings_of(result) == [
            f"{link[0]}: not converted: it is a symbolic link that leads outside the input folder"]
    published = " ".join(p.read_text(errors="replace") for p in (tmp_path / "out").rglob("*") if p.is_file())
    assert "Secret text" not in published and "secret-->text" not in published
    assert stand_in.calls() == []


def test_output_folder_inside_the_input_is_not_read(tmp_path, stand_in):
    config = make_tree(tmp_path, {"a.md": "# A", "docs/b.md": "# B"}, output_folder=str(tmp_path / "in" / "site"))
    for run in (1, 2):
        result = flowpage(tmp_path, config, stand_in)
        assert result.returncode == 0, result.stderr
        assert "Converted 2 documents and 0 diagrams" in result.stderr
    assert not (tmp_path / "in" / "site" / "site").exists()


def test_links_to_pages_by_their_site_names(tmp_path, stand_in):
    """Documents written for a built site link to "b.html": that is b.md's page, even beside a b.html of the input."""
    files = {"a.md": "# A\n\n[b](b.html#part) [gone](b.html#gone) [c](sub/c.html)", "b.md": "# B\n\n## Part",
             "b.html": "<p>the input's own b.html</p>", "sub/c.md": "# C"}
    result = flowpage(tmp_path, make_tree(tmp_path, files), stand_in)
    assert result.returncode == 0, result.stderr
    assert warnings_of(result) == ['a.md: anchor not found: b.html#gone (b.md has no heading or anchor "gone")']
    assert "B</title>" in (tmp_path / "out" / "b.html").read_text()
    assert 'href="sub/c.html"' in (tmp_path / "out" / "a.html").read_text()


DEAD = {
    "a.md": ("# A\n\n[gone](missing.md) [gone again](missing.md) [anchor](b.md#no-such) [good](b.md#real) "
             "[failed](broken.md) [absolute](/config/x) [local](file:///etc/hosts) [folder](empty/) "
             "[here](#nowhere) <team@example.org> [mail](mailto:x@example.org) [web](https://example.org/x.md)\n\n"
             "```mermaid\ngraph LR\n  A-->B\n  click A href \"b.md\"\n  click B href \"nowhere.md\"\n```\n"),
    "b.md": "# B\n\n## Real\n",
    "broken.md": b"# not UTF-8 \xff\n",
    "empty/notes.txt": "x",
}


def test_each_kind_of_dead_link_is_warned_once(tmp_path, stand_in):
    result = flowpage(tmp_path, make_tree(tmp_path, DEAD), stand_in)
    assert result.returncode == 0, result.stderr
    assert sorted(warnings_of(result)) == sorted([
        "a.md: link target not found: missing.md",
        'a.md: anchor not found: b.md#no-such (b.md has no heading or anchor "no-such")',
        "a.md: link to a document that failed: broken.md",
        "a.md: link from the site's root does not work in a site read from its folder: /config/x "
        "(write it relative to the document)",
        "a.md: file: link works only on this computer: file:///etc/hosts",
        "a.md: link to a folder without a page (no index.md or README.md in it): empty/",
        "a.md: anchor not found: #nowhere (no heading or anchor of that name on the page)",
        "a.md, line 5 (drawing): link target not found: nowhere.md",
    ])
    assert "Converted 2 documents and 0 diagrams; 8 warnings; 1 failed: broken.md" in result.stderr
    html = (tmp_path / "out" / "a.html").read_text()
    assert '<a xlink:href="b.html">' in html, "links in drawings lead to pages too"


@pytest.mark.parametrize("strict, dead, status", [
    (True, True, 1), (True, False, 0), (False, True, 0),
], ids=["strict-dead-link", "strict-clean", "lenient-dead-link"])
def test_strict_fails_the_run_after_writing_the_site(tmp_path, stand_in, strict, dead, status):
    files = {"a.md": "# A\n\n[b](b.md)" + (" [gone](gone.md)" if dead else ""), "b.md": "# B"}
    result = flowpage(tmp_path, make_tree(tmp_path, files, strict=strict), stand_in)
    assert result.returncode == status, result.stderr
    assert (tmp_path / "out" / "index.html").exists() and (tmp_path / "out" / "a.html").exists()
    assert ("Strict mode: the site was written, but the run counts as failed" in result.stderr) == (status == 1)


def test_fences_in_lists_quotes_and_other_spellings_are_drawn(tmp_path, stand_in):
    doc = ("# Fences\n\n"
           "- a step\n\n    ```mermaid\n    graph LR\n      list-->item\n    ```\n\n"
           "> quoted\n>\n> ```mermaid\n> graph LR\n>   block-->quote\n> ```\n\n"
           "```Mermaid\ngraph LR\n  capital-->M\n```\n\n"
           "```{.mermaid}\ngraph LR\n  brace-->form\n```\n\n"
           "```mermaid\ngraph bad\n```\n\n"
           "```python\nprint('hi')\n```\n")
    result = flowpage(tmp_path, make_tree(tmp_path, {"f.md": doc}), stand_in)
    assert result.returncode == 0, result.stderr
    html = (tmp_path / "out" / "f.html").read_text()
    for text in ("list--&gt;item", "block--&gt;quote", "capital--&gt;M", "brace--&gt;form"):
        assert re.search(r'<svg id="flowpage-diagram-\d"[^>]*><text>graph LR\s+' + text, html), text
    assert re.search(r"<li>\s*<p>a step</p>\s*<div class=\"diagram\"", html)
    assert re.search(r"<blockquote>.*<div class=\"diagram\".*</blockquote>", html, re.S)
    assert '<code class="language-mermaid">graph bad\n</code>' in html
    assert "1 failed: f.md, line 27" in result.stderr
    assert warnings_of(result) == ["f.md, line 27: diagram not drawn, shown as code: Parse error on line 2:"]
    # Other code is highlighted with inline colours: the page needs no style sheet from elsewhere.
    assert re.search(r'<span style="color: #[0-9A-Fa-f]+[^"]*">print</span>', html)


def test_markdown_as_people_write_it(tmp_path, stand_in):
    doc = ("---\ntitle: From the front matter\ntags: [a, b]\n---\n\n# Heading title\n\n## Über uns\n\n"
           "## Αθήνα & Москва\n\nSee [us](#über-uns).\n\n![wide](wide.png)\n")
    files = {"fm.md": doc, "wide.png": b"\x89PNG", "titled.md": "---\ntitle: Ignored\n---\n# T",
             "rule.md": "---\nJust a rule and text\n---\n\nBody\n"}
    result = flowpage(tmp_path, make_tree(tmp_path, files, doc_titles={"titled.md": "From the map"}), stand_in)
    assert result.returncode == 0, result.stderr
    assert warnings_of(result) == []
    out = tmp_path / "out"
    html = (out / "fm.html").read_text()
    assert "<title>From the front matter</title>" in html and "tags:" not in html
    assert '<h2 id="über-uns">Über uns</h2>' in html and '<h2 id="αθήνα--москва">' in html
    assert ".content img { max-width: 100%; height: auto; }" in html
    assert "@media (prefers-color-scheme: dark)" in html and ".diagram { background: #ffffff;" in html
    assert "<title>From the map</title>" in (out / "titled.html").read_text()
    assert "Just a rule and text" in (out / "rule.html").read_text(), "a block that is not YAML front matter stays"


def test_second_run_rewrites_nothing_and_draws_nothing(tmp_path, stand_in):
    files = dict(TREE)
    files["bad.md"] = "# Bad\n\n```mermaid\ngraph bad\n```\n"
    config = make_tree(tmp_path, files)
    first = flowpage(tmp_path, config, stand_in)
    assert first.returncode == 0, first.stderr
    assert stand_in.calls() != []
    out = tmp_path / "out"
    before = mtimes(out)
    second = flowpage(tmp_path, config, stand_in)
    assert second.returncode == 0
    assert stand_in.calls() == [], "neither the drawn diagram nor the failed fence is drawn again"
    assert mtimes(out) == before
    assert "bad.md, line 3: diagram not drawn, shown as code: Parse error on line 2:" in second.stderr
    # A changed fence is tried again.
    (tmp_path / "in" / "bad.md").write_text("# Bad\n\n```mermaid\ngraph fixed\n```\n")
    assert flowpage(tmp_path, config, stand_in).returncode == 0
    assert len(stand_in.calls()) == 1
    changed = mtimes(out)
    assert {name for name in changed if changed[name] != before.get(name)} >= {"bad.html"}
    assert changed["guide/setup.html"] == before["guide/setup.html"]


# --- the demo site in a real browser ---------------------------------------------

def test_demo_site_in_headless_chromium(tmp_path):
    """The demo site, drawn by the real renderer, read in Chromium through the Puppeteer the renderer brings."""
    from conftest import REPO, run_program
    modules = REPO / "build" / "npm" / "node_modules"
    mmdc = modules / ".bin" / "mmdc"
    assert mmdc.exists() and shutil.which("node"), "the Mermaid CLI is missing: run the tests with 'make pytest'"
    docs = tmp_path / "docs"
    shutil.copytree(REPO / "examples" / "flowpage" / "docs", docs)
    settings = json.loads((REPO / "examples" / "flowpage" / "config.json").read_text())["config"]
    settings.update(input_folder=str(docs), output_folder=str(tmp_path / "site"))
    config = tmp_path / "c.json"
    config.write_text(json.dumps({"config": settings}))
    env = {"PATH": f"{mmdc.parent}{os.pathsep}{os.environ['PATH']}",
           "PUPPETEER_EXECUTABLE_PATH": os.environ.get("PUPPETEER_EXECUTABLE_PATH", "/usr/bin/chromium")}
    if os.geteuid() == 0:
        env["PUPPETEER_DANGEROUS_NO_SANDBOX"] = "true"
    built = run_program(["flowpage", "-c", str(config)], tmp_path, env)
    assert built.returncode == 0, built.stderr
    assert warnings_of(built) == [], "the demo site is clean"
    check = subprocess.run(
        ["node", str(Path(__file__).with_name("flowpage_browser_check.js")), str(tmp_path / "site"), "hygroscopic",
         "methods/weighing.html"],
        env={**os.environ, **env, "PUPPETEER_MODULE": str(modules / "puppeteer")},
        capture_output=True, text=True, timeout=300)
    report = json.loads(check.stdout or "{}")
    assert "crashed" not in report, report.get("crashed", check.stderr)
    assert report["pages"] == 10
    assert report["errors"] == [] and report["requests"] == [], "no console error, nothing fetched from elsewhere"
    assert report["dead"] == []
    assert report["navigated"] == "README.html"
    assert report["opened"] == "methods/weighing.html", report["search"]
