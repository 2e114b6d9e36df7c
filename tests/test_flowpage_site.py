"""flowpage as a documentation site: fences, links and assets, the manifest,
outcomes, odd names, the renderer's output, the drawing cache and batches."""
import os
import re
import shutil
from pathlib import Path

import pytest

from conftest import REPO, run_program
from flowpage_helpers import STAND_IN, StandIn, make_tree

NPM_BIN = REPO / "build" / "npm" / "node_modules" / ".bin"

@pytest.fixture
def stand_in(tmp_path):
    """The stand-in first on PATH; calling it gives the calls made so far (and forgets them)."""
    return StandIn(tmp_path)


def flowpage(tmp_path, config_path, env, debug=False):
    extra = dict(env)
    if debug:
        extra["VELKIT_DEBUG"] = "1"
    return run_program(["flowpage", "-c", str(config_path)], tmp_path, extra)


def page(tmp_path, name):
    return (tmp_path / "out" / name).read_text(encoding="utf-8")


def summary(result):
    lines = [line for line in result.stderr.splitlines() if "Converted " in line]
    return lines[-1] if lines else None


# --- outcomes -------------------------------------------------------------------

@pytest.mark.parametrize("files, setup, status, stdout_start, summary_line", [
    ({"a.md": "# A", "b.mmd": "graph LR\n A-->B\n"}, None, 0, "\n[DONE] ",
     "INFO FlowPage: Converted 1 document and 1 diagram"),
    ({"a.md": "# A", "bad.mmd": "graph bad\n"}, None, 0, "\n[DONE] ",
     "WARNING FlowPage: Converted 1 document and 0 diagrams; 1 failed: bad.mmd"),
    ({"bad.mmd": "graph bad\n", "notes.txt": "x"}, None, 1, "\n[WARNING] All 1 file failed; nothing was converted.",
     "WARNING FlowPage: Converted 0 documents and 0 diagrams; 1 failed: bad.mmd"),
    ({"notes.txt": "x"}, None, 0, "\n[WARNING] No .md or .mmd files were found", None),
    ({}, "no-input", 1, "\n[ERROR] Input folder not found: ", None),
    ({"a.md": "# A"}, "config-null", 1, "", None),
    ({"a.md": "# A"}, "foreign-index", 1, "\n[WARNING] The index was not written: ",
     "INFO FlowPage: Converted 1 document and 0 diagrams"),
], ids=["clean", "partial", "every-item-failed", "empty-input", "missing-input", "unusable-configuration",
        "index-not-writable"])
def test_status_classes(tmp_path, stand_in, files, setup, status, stdout_start, summary_line):
    config = make_tree(tmp_path, files)
    if setup == "no-input":
        shutil.rmtree(tmp_path / "in")
    if setup == "config-null":
        config.write_text('{"config": null}')
    if setup == "foreign-index":
        (tmp_path / "out").mkdir()
        (tmp_path / "out" / "index.html").write_text("my own index")
    result = flowpage(tmp_path, config, stand_in.env)
    assert result.returncode == status, result.stderr
    assert result.stdout.startswith(stdout_start)
    assert summary(result) == summary_line, result.stderr
    assert "Traceback" not in result.stderr
    if setup == "foreign-index":
        assert (tmp_path / "out" / "index.html").read_text() == "my own index"
        assert "Failed to write index.html for the index: " in result.stderr


@pytest.mark.parametrize("content, message", [
    (b'{"config": null}', "'config' must be an object."),
    (b'{"config": []}', "'config' must be an object."),
    (b"{}", "lacks the required key 'config'"),
    (b"[]", ""),
    (b"", ""),
    (b'{"config": {"index_title": "caf\xe9"}}', ""),
    (b'{"config": {"doc_titles": {"a.md": 3}}}', "'config.doc_titles.a.md' must be a string (got 3)."),
    (b'{"config": {"output_folder": ""}}', "'config.output_folder' must be a non-empty text"),
], ids=["config-null", "config-array", "no-config", "top-array", "empty-file", "not-utf8", "title-number",
        "empty-folder"])
def test_refused_configurations(tmp_path, stand_in, content, message):
    path = tmp_path / "c.json"
    path.write_bytes(content)
    result = run_program(["flowpage", "-c", str(path)], tmp_path, stand_in.env)
    assert result.returncode == 1
    assert result.stdout == ""
    assert str(path) in result.stderr and message in result.stderr
    assert "Traceback" not in result.stderr


def test_undecodable_file_names_are_converted_and_shown_escaped(tmp_path, stand_in):
    config = make_tree(tmp_path, {"good.md": "# Good"})
    source = os.fsencode(tmp_path / "in")
    with open(source + b"/bad\xffname.md", "wb") as handle:
        handle.write(b"# Odd [link](bad%FFname.mmd)\n")
    with open(source + b"/bad\xffname.mmd", "wb") as handle:
        handle.write(b"graph LR\n A-->B\n")
    result = flowpage(tmp_path, config, stand_in.env)
    assert result.returncode == 0, result.stderr
    assert "Traceback" not in result.stderr
    assert "Processing Markdown: bad\\xffname.md -> bad\\xffname" in result.stderr
    out = os.fsencode(tmp_path / "out")
    assert os.path.exists(out + b"/bad\xffname.html") and os.path.exists(out + b"/bad\xffname-2.svg")
    with open(out + b"/bad\xffname.html", "rb") as handle:
        assert b'<a href="bad%FFname-2.html">link</a>' in handle.read()
    assert 'href="bad%FFname.html"' in page(tmp_path, "index.html")


# --- diagrams inside documents ------------------------------------------------------

def test_real_renderer_draws_fences_inline_and_the_diagram_page(tmp_path, monkeypatch):
    mmdc = shutil.which("mmdc", path=str(NPM_BIN))
    assert mmdc, "the Mermaid CLI is missing: run the tests with 'make pytest', which installs it"
    env = {"PATH": f"{NPM_BIN}{os.pathsep}{os.environ['PATH']}",
           "PUPPETEER_EXECUTABLE_PATH": os.environ.get("PUPPETEER_EXECUTABLE_PATH", "/usr/bin/chromium")}
    if os.geteuid() == 0:
        env["PUPPETEER_DANGEROUS_NO_SANDBOX"] = "true"
    doc = ("\ufeff# Two drawings\n\n```mermaid\ngraph LR\n  A[Alpha] --> B[Beta]\n```\n\n"
           "Between.\n\n```mermaid\nsequenceDiagram\n  Ann->>Bob: Hi\n```\n\n"
           "```mermaid-example\ngraph TD\n  shown --> as_code\n```\n")
    config = make_tree(tmp_path, {"doc.md": doc, "flow.mmd": "graph LR\n  X --> Y\n"})
    result = flowpage(tmp_path, config, env)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("\n[DONE] ")
    html = page(tmp_path, "doc.html")
    ids = re.findall(r'<svg id="([^"]+)"', html)
    assert ids == ["flowpage-diagram-1", "flowpage-diagram-2"]
    assert "#flowpage-diagram-2" in html and "#my-svg" not in html
    assert "Alpha" in html and "Bob" in html
    assert 'class="language-mermaid"' not in html
    assert "shown --&gt; as_code" in html
    assert '<h1 id="two-drawings">Two drawings</h1>' in html
    drawing = page(tmp_path, "flow.svg")
    assert drawing.lstrip().startswith("<svg")
    assert drawing in page(tmp_path, "flow.html")
    assert '<a href="flow.svg">Full-size drawing (SVG)</a>' in page(tmp_path, "flow.html")


def test_failing_fence_stays_code_and_names_its_line(tmp_path, stand_in):
    doc = "# D\n\n```mermaid\ngraph bad\n```\n\n```mermaid\ngraph LR\n  ok\n```\n"
    config = make_tree(tmp_path, {"doc.md": doc})
    result = flowpage(tmp_path, config, stand_in.env)
    assert result.returncode == 0
    assert "WARNING FlowPage: doc.md, line 3: diagram not drawn, shown as code: Parse error on line 2:" in result.stderr
    html = page(tmp_path, "doc.html")
    assert '<pre><code class="language-mermaid">graph bad\n</code></pre>' in html
    assert '<svg id="flowpage-diagram-2"' in html


def test_error_picture_and_renderer_output_in_the_log(tmp_path, stand_in):
    config = make_tree(tmp_path, {"huge.mmd": "graph huge\n", "bad.mmd": "graph bad\n", "ok.mmd": "graph ok\n"})
    result = flowpage(tmp_path, config, stand_in.env)
    assert result.returncode == 0
    assert "ERROR FlowPage: Failed to convert huge.mmd: Maximum text size in diagram exceeded" in result.stderr
    assert "ERROR FlowPage: Failed to convert bad.mmd: Parse error on line 2:" in result.stderr, result.stderr
    assert not (tmp_path / "out" / "huge.html").exists() and not (tmp_path / "out" / "huge.svg").exists()
    # The renderer's chatter and stack stay out of the terminal unless asked for.
    assert "Generating single" not in result.stdout + result.stderr
    assert "renderMermaid" not in result.stderr
    debug = flowpage(tmp_path, make_tree(tmp_path, {"bad.mmd": "graph bad again\n"}), stand_in.env, debug=True)
    assert "at renderMermaid (index.js:480:22)" in debug.stderr


# --- links, assets and the index -------------------------------------------------------

def test_links_pages_assets_and_warnings(tmp_path, stand_in, monkeypatch):
    (tmp_path / "outside.png").write_bytes(b"secret")
    doc = ("# Guide\n\n## Set up\n\n[b](b.md#x) [chart](x.mmd) [doc x](x.md) [web](https://example.org/a.md) "
           "[here](#set-up)\n\n![p](img/p%201.png) ![o](../outside.png) ![l](img/leak.png) "
           "[gone](missing.pdf) [raw](notes/raw.txt)\n")
    config = make_tree(tmp_path, {"guide.md": doc, "b.md": "# B", "x.md": "# X", "x.mmd": "graph x\n",
                                  "img/p 1.png": b"\x89PNG", "notes/raw.txt": "raw"})
    os.symlink(tmp_path / "outside.png", tmp_path / "in" / "img" / "leak.png")
    result = flowpage(tmp_path, config, stand_in.env)
    assert result.returncode == 0, result.stderr
    html = page(tmp_path, "guide.html")
    for link in ('href="b.html#x"', 'href="x-2.html"', 'href="x.html"', 'href="https://example.org/a.md"',
                 'href="#set-up"', 'src="img/p%201.png"', 'src="../outside.png"', 'href="notes/raw.txt"',
                 '<h2 id="set-up">'):
        assert link in html
    out = tmp_path / "out"
    assert (out / "img" / "p 1.png").read_bytes() == b"\x89PNG"
    assert (out / "notes" / "raw.txt").read_text() == "raw"
    assert not (out / "img" / "leak.png").exists() and not (tmp_path / "outside.png.html").exists()
    assert "guide.md: not copying ../outside.png: it is outside the input folder" in result.stderr
    assert "guide.md: not copying img/leak.png: it is outside the input folder" in result.stderr
    assert "guide.md: link target not found: missing.pdf" in result.stderr


def test_index_in_natural_order_with_first_headings_as_titles(tmp_path, stand_in):
    config = make_tree(tmp_path, {"z.md": "# Step 10", "a.md": "# Step 9", "m.md": "no heading\n\n# Later",
                                  "t.md": "# Heading loses", "q.md": "text only"},
                       doc_titles={"t.md": "Mapped title"})
    assert flowpage(tmp_path, config, stand_in.env).returncode == 0
    titles = re.findall(r'</span> ([^<]*)</a>', page(tmp_path, "index.html"))
    assert titles == ["Later", "Mapped title", "q", "Step 9", "Step 10"]
    assert "<title>Step 10</title>" in page(tmp_path, "z.html")


def test_files_flowpage_did_not_write_are_never_replaced(tmp_path, stand_in):
    config = make_tree(tmp_path, {"notes.md": "# N", "flow.mmd": "graph LR\n A-->B\n", "ok.md": "# ok",
                                  "pic.png": b"new", "use.md": "![](pic.png)"})
    out = tmp_path / "out"
    out.mkdir()
    for name, text in {"notes.html": "mine", "flow.svg": "<svg>mine</svg>", "pic.png": "mine"}.items():
        (out / name).write_text(text)
    result = flowpage(tmp_path, config, stand_in.env)
    assert result.returncode == 0
    for name in ("notes.html", "flow.svg", "pic.png"):
        assert "mine" in (out / name).read_text()
        assert f"Failed to write {name} for " in result.stderr
    failed = summary(result).split("; 3 failed: ")[1].split(", ")
    assert sorted(failed) == ["flow.mmd", "notes.md", "use.md"]
    # What flowpage wrote itself it replaces on the next run.
    (out / "notes.html").unlink()
    (out / "flow.svg").unlink()
    (out / "pic.png").unlink()
    again = flowpage(tmp_path, config, stand_in.env)
    assert summary(again) == "INFO FlowPage: Converted 3 documents and 1 diagram"
    assert flowpage(tmp_path, config, stand_in.env).returncode == 0
    assert (out / "pic.png").read_bytes() == b"new"


# --- incremental runs and batches ------------------------------------------------------------

def test_unchanged_diagrams_are_not_drawn_again(tmp_path, stand_in):
    files = {"a.mmd": "graph a\n", "b.mmd": "graph b\n", "doc.md": "```mermaid\ngraph fence\n```\n"}
    config = make_tree(tmp_path, files)
    assert flowpage(tmp_path, config, stand_in.env).returncode == 0
    first = stand_in()
    assert len(first) == 1 and first[0].endswith(".md")  # one batch for all three
    before = page(tmp_path, "doc.html")
    assert flowpage(tmp_path, config, stand_in.env).returncode == 0
    assert stand_in() == []
    assert page(tmp_path, "doc.html") == before
    (tmp_path / "in" / "b.mmd").write_text("graph b changed\n")
    assert flowpage(tmp_path, config, stand_in.env).returncode == 0
    calls = stand_in()
    assert calls == ["-i single-1.mmd -o single-1.svg"]  # alone, under a name of the drawer's making
    assert "graph b changed" in page(tmp_path, "b.html")
    # A different renderer draws everything again.
    (Path(stand_in.env["PATH"].split(os.pathsep)[0]) / "mmdc").write_text(STAND_IN + "\n# v2\n")
    assert flowpage(tmp_path, config, stand_in.env).returncode == 0
    assert len(stand_in()) == 1


def test_batch_restarts_after_a_failing_diagram(tmp_path, stand_in):
    fences = "".join(f"```mermaid\ngraph {'bad' if n in (2, 4) else 'good'} {n}\n```\n\n" for n in range(1, 7))
    config = make_tree(tmp_path, {"doc.md": fences})
    result = flowpage(tmp_path, config, stand_in.env)
    assert result.returncode == 0
    calls = stand_in()
    assert len(calls) == 3 and all(call.endswith("-out.md") for call in calls)
    html = page(tmp_path, "doc.html")
    for n in (1, 3, 5, 6):
        assert f"graph good {n}" in html
    assert html.count('class="language-mermaid"') == 2
    assert [line for line in result.stderr.splitlines() if "not drawn" in line][1].startswith(
        "WARNING FlowPage: doc.md, line 13: ")


SLOW_BATCH = {**{f"d{n:02}.mmd": f"graph {'bad' if n == 5 else 'good'} {n}\n" for n in range(12)},
              "guide.md": "# Guide\n\n```mermaid\ngraph good fence\n```\n"}


def drawing_progress(stderr):
    """(done, total) of each line the meter wrote while drawing."""
    return [tuple(map(int, found)) for found in re.findall(r"(\d+) of (\d+) done, now drawing ", stderr)]


def test_a_long_batch_shows_its_progress_and_changes_nothing_else(tmp_path, stand_in):
    """The drawings a batch has written so far are counted while it runs: a
    log gets a line per tenth of them; the pages and the summary are those
    of a run without progress to show."""
    config = make_tree(tmp_path, SLOW_BATCH)
    slow = flowpage(tmp_path, config, {**stand_in.env, "MMDC_SECONDS_EACH": "0.3"})
    assert slow.returncode == 0, slow.stderr
    # One batch up to the diagram it refuses, one for the rest.
    assert len(stand_in()) == 2
    progress = drawing_progress(slow.stderr)
    assert {total for _, total in progress} == {13}
    done = [count for count, _ in progress]
    assert done == sorted(done) and any(0 < count < 6 for count in done), progress
    assert "done" not in slow.stdout
    summary_line = summary(slow)
    assert summary_line == "WARNING FlowPage: Converted 1 document and 11 diagrams; 1 failed: d05.mmd"

    shutil.rmtree(tmp_path / "out")
    quick = flowpage(tmp_path, config, stand_in.env)
    assert summary(quick) == summary_line and quick.stdout == slow.stdout
    # Cached drawings are taken, not drawn: nothing to show.
    again = flowpage(tmp_path, config, stand_in.env)
    assert drawing_progress(again.stderr) == [] and summary(again) == summary_line


def test_a_long_batch_moves_the_progress_line_on_a_terminal(tmp_path, stand_in, monkeypatch):
    from test_console import run_on_terminal

    for name, value in {**stand_in.env, "MMDC_SECONDS_EACH": "0.3"}.items():
        monkeypatch.setenv(name, value)
    config = make_tree(tmp_path, {f"d{n:02}.mmd": f"graph good {n}\n" for n in range(8)})
    status, out, terminal = run_on_terminal(["flowpage", "-c", str(config)], tmp_path)
    assert status == 0, terminal
    assert len(stand_in()) == 1
    shown = re.findall(r"\r\x1b\[KFlowPage: (\d) of 8 done, now drawing d0\d\.mmd", terminal)
    assert shown[0] == "0" and any(0 < int(done) < 8 for done in shown), terminal
    assert "done" not in out


def test_output_folder_equal_to_the_input_folder(tmp_path, stand_in):
    config = make_tree(tmp_path, {"a.md": "# A\n\n![](img/p.png) [b](b.md)", "b.md": "# B", "img/p.png": b"png",
                                  "notes.html": "mine"}, output_folder=str(tmp_path / "in"))
    for run in (1, 2):
        result = flowpage(tmp_path, config, stand_in.env)
        assert result.returncode == 0, result.stderr
        assert summary(result) == "INFO FlowPage: Converted 2 documents and 0 diagrams"
    folder = tmp_path / "in"
    assert (folder / "img" / "p.png").read_bytes() == b"png" and (folder / "notes.html").read_text() == "mine"
    assert 'href="b.html"' in (folder / "a.html").read_text(encoding="utf-8")


def test_leftovers_of_a_killed_run_are_removed(tmp_path, stand_in):
    config = make_tree(tmp_path, {"a.md": "# A", "b.mmd": "graph b\n"})
    assert flowpage(tmp_path, config, stand_in.env).returncode == 0
    out = tmp_path / "out"
    work = out / ".flowpage-cache" / "work-Xy12Z9"
    work.mkdir()
    (work / "batch-1.md").write_text("```mermaid\ngraph b\n```\n")
    leftovers = [out / ".a.html.tmp-AbC123", out / ".index.html.tmp-q1W2e3", work]
    kept = [out / ".a.html.tmp-short"]
    for path in leftovers[:2] + kept:
        path.write_text("partial")
    for path in leftovers + kept:
        os.utime(path, (1, 1))
    assert flowpage(tmp_path, config, stand_in.env).returncode == 0
    assert [path.exists() for path in leftovers + kept] == [False, False, False, True]
    assert [p.name for p in (out / ".flowpage-cache").iterdir() if not p.name.endswith(".svg")] == []
