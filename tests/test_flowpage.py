"""The flowpage tool: command, conversion run, renderer calls and the written site."""
import json
import os
import re
import shutil
import string
from pathlib import Path

import pytest

from conftest import REPO, run_program, run_python
from velkit import flowpage

TEMPLATE = "config_flowpage_template.json"
NOTHING = "No .md or .mmd files were found in the input folder."
NO_RENDERER = ("Mermaid CLI ('mmdc') is not installed or not in PATH.\n"
               "Please install it via: npm install -g @mermaid-js/mermaid-cli")
NPM_BIN = REPO / "build" / "npm" / "node_modules" / ".bin"

# A stand-in renderer: writes a small SVG to the "-o" path unless the
# diagram holds "bad", then it fails. Like the real one, it cannot open a
# path that is not plain ASCII.
FAKE_RENDERER = """#!/bin/sh
[ "$1" = -i ] && [ "$3" = -o ] && [ $# -eq 4 ] || { echo "fake mmdc: bad arguments: $*" >&2; exit 64; }
if printf '%s' "$2$4" | LC_ALL=C grep -q '[^ -~]'; then echo "fake mmdc: ENOENT: cannot open $2" >&2; exit 1; fi
if grep -q bad "$2"; then echo "fake mmdc: parse error in $2" >&2; exit 1; fi
printf '<svg xmlns="http://www.w3.org/2000/svg"><text>%s</text></svg>\\r\\n' "$(head -c 40 "$2" | tr -d '\\n')" > "$4"
"""


@pytest.fixture(autouse=True)
def renderer_environment(monkeypatch):
    """The Mermaid CLI that `make` installs, drawing with Debian's Chromium."""
    if NPM_BIN.is_dir():
        monkeypatch.setenv("PATH", f"{NPM_BIN}{os.pathsep}{os.environ.get('PATH', '')}")
    if "PUPPETEER_EXECUTABLE_PATH" not in os.environ and Path("/usr/bin/chromium").exists():
        monkeypatch.setenv("PUPPETEER_EXECUTABLE_PATH", "/usr/bin/chromium")
    if os.geteuid() == 0:
        monkeypatch.setenv("PUPPETEER_DANGEROUS_NO_SANDBOX", "true")


@pytest.fixture
def real_mmdc():
    found = shutil.which("mmdc")
    assert found, "the Mermaid CLI is missing: run the tests with 'make pytest', which installs it"
    return found


@pytest.fixture
def fake_mmdc(tmp_path, monkeypatch):
    """Puts a renderer with the given script first on PATH."""
    def install(script=FAKE_RENDERER, mode=0o755):
        folder = tmp_path / "fakebin"
        folder.mkdir(exist_ok=True)
        program = folder / "mmdc"
        program.write_text(script)
        program.chmod(mode)
        monkeypatch.setenv("PATH", f"{folder}{os.pathsep}{os.environ['PATH']}")
        return program
    return install


def site(tmp_path, files, **config):
    """An input folder with `files` (name -> text or bytes) and its configuration file."""
    source = tmp_path / "in"
    source.mkdir(exist_ok=True)
    for name, content in files.items():
        target = source / name
        if isinstance(content, bytes):
            target.write_bytes(content)
        else:
            target.write_text(content, encoding="utf-8", newline="")
    settings = {"input_folder": str(source), "output_folder": str(tmp_path / "out"), **config}
    path = tmp_path / "c.json"
    path.write_text(json.dumps({"config": settings}), encoding="utf-8")
    return path


def convert(runner, config_path):
    return runner.invoke(flowpage.cmd_flowpage, ["-c", str(config_path)])


def index_lines(tmp_path):
    return (tmp_path / "out" / "index.html").read_text(encoding="utf-8").split("\n")


# --- module and command -------------------------------------------------------

def test_module_constants():
    fields = lambda template: [f for _, f, _, _ in string.Formatter().parse(template) if f is not None]
    assert (len(flowpage.PAGE_TEMPLATE), len(flowpage.PAGE_TEMPLATE.encode())) == (3698, 3788)
    assert (len(flowpage.INDEX_TEMPLATE), len(flowpage.INDEX_TEMPLATE.encode())) == (973, 976)
    assert fields(flowpage.PAGE_TEMPLATE) == ["title", "title", "body_content"]
    assert fields(flowpage.INDEX_TEMPLATE) == ["index_title", "index_title", "md_section", "chart_section"]
    assert flowpage.HAS_MD is True
    assert list(flowpage.DEFAULT_CONFIG["config"]) == [
        "input_folder", "output_folder", "index_title", "doc_titles", "chart_titles"]
    assert flowpage.DEFAULT_CONFIG["config"]["doc_titles"] == {
        "README.md": "README (v0.1)", "test.md": "Test MarkDown Document (v0.1)"}
    assert flowpage.DEFAULT_CONFIG["config"]["chart_titles"] == {"ab.mmd": "A to B Flow", "cd.mmd": "C to D Flow"}


def test_missing_markdown_refuses_even_the_template(tmp_path):
    code = ("import sys\nsys.modules['markdown'] = None\nfrom velkit import flowpage\n"
            "assert flowpage.HAS_MD is False\n"
            "sys.argv = ['flowpage', '--generate-config']\nflowpage.cmd_flowpage()\n")
    result = run_python(code, tmp_path)
    assert result.returncode == 1
    assert "ERROR FlowPage: Missing required package (markdown). Install it with: pip install 'velkit[markdown]'" \
        in result.stderr
    assert not (tmp_path / TEMPLATE).exists()


@pytest.mark.parametrize("content, status, message", [
    ('{"other": 1}', 1, "lacks the required key 'config'"),
    ("[1, 2", 1, "is not valid JSON"),
    ('{"config": ["in"]}', 1, "'config' must be an object."),
], ids=["no-config-key", "broken-json", "config-not-object"])
def test_unusable_configuration_files(runner, tmp_path, content, status, message):
    path = tmp_path / "c.json"
    path.write_text(content)
    result = runner.invoke(flowpage.cmd_flowpage, ["-c", str(path)])
    assert result.exit_code == status
    assert result.stdout == ""
    assert message in result.stderr and str(path) in result.stderr


def test_converter_fields_take_defaults_only_for_missing_keys():
    empty = flowpage.MermaidConverter({})
    assert (empty.input_folder, empty.output_folder, empty.index_title, empty.doc_titles, empty.chart_titles) == (
        "./data_flowpage", "./data_flowpage/html_out", "Project Documentation", {}, {})
    partial = flowpage.MermaidConverter({"index_title": "Lab", "doc_titles": None})
    assert (partial.index_title, partial.doc_titles, partial.input_folder) == ("Lab", None, "./data_flowpage")
    assert partial.conf == {"index_title": "Lab", "doc_titles": None}


def test_prepare_output_dir(tmp_path):
    deep = tmp_path / "a" / "b" / "c"
    flowpage.MermaidConverter({"output_folder": str(deep)})._prepare_output_dir()
    assert deep.is_dir()
    plain = tmp_path / "plain"
    plain.write_text("x")
    flowpage.MermaidConverter({"output_folder": str(plain)})._prepare_output_dir()
    assert plain.read_text() == "x"


def test_prepare_output_dir_logs_once_for_all_levels(tmp_path):
    code = ("from velkit import flowpage\n"
            "flowpage.MermaidConverter({'output_folder': 'a/b/c'})._prepare_output_dir()\n"
            "flowpage.MermaidConverter({'output_folder': 'a/b/c'})._prepare_output_dir()\n")
    result = run_python(code, tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stderr.splitlines() == ["INFO FlowPage: Created output directory: a/b/c"]
    assert (tmp_path / "a" / "b" / "c").is_dir()


def test_check_mmdc_wants_an_executable_on_path(fake_mmdc, monkeypatch, tmp_path):
    monkeypatch.setenv("PATH", str(tmp_path / "nowhere"))
    converter = flowpage.MermaidConverter({})
    assert converter._check_mmdc() is False
    program = fake_mmdc(mode=0o644)
    assert converter._check_mmdc() is False
    program.chmod(0o755)
    assert converter._check_mmdc() is True


# --- preconditions ------------------------------------------------------------

def test_no_renderer_fails_before_anything_is_written(runner, tmp_path, monkeypatch):
    monkeypatch.setenv("PATH", str(tmp_path / "nowhere"))
    config = site(tmp_path, {"a.md": "# A"})
    result = convert(runner, config)
    assert result.exit_code == 1
    assert result.stdout == f"\n[ERROR] {NO_RENDERER}\n"
    # Logged one line per line: no log line holds a line break.
    assert "".join(f"ERROR FlowPage: {line}\n" for line in NO_RENDERER.split("\n")) in result.stderr
    assert not (tmp_path / "out").exists()


def test_missing_input_folder(runner, tmp_path, fake_mmdc):
    fake_mmdc()
    config = site(tmp_path, {}, input_folder=str(tmp_path / "missing"))
    result = convert(runner, config)
    assert result.exit_code == 1
    assert result.stdout == f"\n[ERROR] Input folder not found: {tmp_path / 'missing'}\n"
    assert not (tmp_path / "out").exists()


def test_empty_folder_gives_the_warning_with_status_zero(runner, tmp_path, fake_mmdc):
    fake_mmdc()
    config = site(tmp_path, {"notes.md.txt": "x"})
    result = convert(runner, config)
    assert result.exit_code == 0
    assert result.stdout == f"\n[WARNING] {NOTHING}\n"
    assert (tmp_path / "out").is_dir() and list((tmp_path / "out").iterdir()) == []


@pytest.mark.parametrize("setting, expected", [
    ({"doc_titles": ["README.md"]}, "'config.doc_titles' must be an object."),
    ({"input_folder": 5}, "'config.input_folder' must be a non-empty text (got 5)."),
], ids=["title-map-array", "folder-number"])
def test_wrong_configuration_types_name_the_key(runner, tmp_path, fake_mmdc, setting, expected):
    fake_mmdc()
    config = site(tmp_path, {"a.md": "# A"}, **setting)
    result = convert(runner, config)
    assert result.exit_code == 1
    assert result.stdout == ""
    assert f"Error: Invalid configuration in {config}: {expected}" in result.stderr
    assert not (tmp_path / "out").exists()


# --- the real renderer ----------------------------------------------------------

def test_real_site_with_default_titles(runner, tmp_path, real_mmdc):
    readme = "# Read me\r\n\r\nSome `code`.\r\n\r\n```python\r\nif a < b:\r\n    pass\r\n```\r\n\r\n| k | v |\r\n|---|---|\r\n| 1 | 2 |\r\n"
    config = site(tmp_path, {"README.md": readme, "ab.mmd": "graph LR\r\n  A[Alpha] --> B[Beta]\r\n"},
                  output_folder=str(tmp_path / "out") + "/", **{
                      k: v for k, v in flowpage.DEFAULT_CONFIG["config"].items() if k.endswith("_titles")})
    result = convert(runner, config)
    assert result.exit_code == 0, result.output + result.stderr
    assert result.stdout == f"\n[DONE] Successfully generated documentation in: {tmp_path / 'out'}//index.html\n"
    assert index_lines(tmp_path)[19:22] == [
        "    <h2>📁 Project Documentation</h2>",
        '    <h3>Documentation</h3><ul><li><a href="README.html"><span class="icon">📘</span> README (v0.1)</a></li></ul>',
        '    <h3>Flow Charts</h3><ul><li><a href="ab.html"><span class="icon">📊</span> A to B Flow</a></li></ul>',
    ]
    out = tmp_path / "out"
    doc = (out / "README.html").read_bytes().decode("utf-8")
    assert "\r" not in doc and doc.startswith("\n<!DOCTYPE html>\n")
    # Highlighted, with the colours on the code itself.
    assert re.search(r'<code><span style="color: #[0-9A-F]+; font-weight: bold">if</span> a <span[^>]*>&lt;</span> b:', doc)
    assert "<td>1</td>" in doc and "<code>code</code>" in doc
    drawing = (out / "ab.svg").read_text(encoding="utf-8")
    page = (out / "ab.html").read_text(encoding="utf-8")
    assert drawing.lstrip().startswith("<svg") and "Alpha" in drawing and "Beta" in drawing
    # The drawing as drawn, in a frame that scrolls instead of shrinking it, and a link to it.
    assert f'<div class="content">\n        <div class="diagram" style="overflow-x: auto;"><div style="min-width: ' in page
    assert f"px;\">{drawing}</div></div>\n<p><a href=\"ab.svg\">Full-size drawing (SVG)</a></p>\n    </div>" in page
    assert "<title>A to B Flow</title>" in page
    assert [p.name for p in sorted(out.iterdir())] == [
        ".flowpage-cache", ".flowpage-manifest", "README.html", "_flowpage", "ab.html", "ab.svg", "index.html"]


def test_real_renderer_with_a_name_a_shell_would_read(runner, tmp_path, real_mmdc):
    name = "flow $(touch hacked) & 'v2'.mmd"
    config = site(tmp_path, {name: "graph TD\n  X --> Y\n"})
    result = convert(runner, config)
    assert result.exit_code == 0, result.output + result.stderr
    out = tmp_path / "out"
    assert not (tmp_path / "hacked").exists() and not Path("hacked").exists()
    assert "<svg" in (out / "flow $(touch hacked) & 'v2'.html").read_text(encoding="utf-8")
    item = index_lines(tmp_path)[21]
    assert ('<a href="flow%20%24%28touch%20hacked%29%20%26%20%27v2%27.html"><span class="icon">📊</span> '
            "flow $(touch hacked) &amp; &#x27;v2&#x27;</a>") in item


def test_real_renderer_draws_files_whose_names_it_could_not_open(tmp_path, real_mmdc):
    """Neither the diagram's nor the output folder's name is UTF-8; the
    renderer is only ever given names it can open."""
    source = os.fsencode(tmp_path / "in")
    os.mkdir(source)
    with open(source + b"/bad\xff.mmd", "wb") as handle:
        handle.write(b"graph LR\n  a --> b\n")
    with open(source + b"/doc.md", "wb") as handle:
        handle.write(b"# Doc\n\n```mermaid\ngraph TD\n  c --> d\n```\n")
    out = os.fsencode(tmp_path) + b"/site\xfe"
    config = tmp_path / "c.json"
    config.write_text(json.dumps({"config": {"input_folder": os.fsdecode(source), "output_folder": os.fsdecode(out)}}))
    env = {key: os.environ[key] for key in ("PATH", "PUPPETEER_EXECUTABLE_PATH", "PUPPETEER_DANGEROUS_NO_SANDBOX")
           if key in os.environ}
    result = run_program(["flowpage", "-c", str(config)], tmp_path, env)
    assert result.returncode == 0, result.stderr
    with open(out + b"/bad\xff.svg", "rb") as handle:
        assert b"<svg" in handle.read()
    with open(out + b"/doc.html", "rb") as handle:
        assert b"<svg" in handle.read()
    assert not [name for name in os.listdir(out + b"/.flowpage-cache") if name.startswith(b"work-")]


# --- per-file failures and the renderer contract (stand-in renderer) ---------------

def test_failed_diagram_is_skipped_and_the_rest_indexed(runner, tmp_path, fake_mmdc):
    fake_mmdc()
    config = site(tmp_path, {"good.mmd": "graph LR\n a-->b\n", "bad.mmd": "graph bad ???", "doc.md": "text"})
    result = convert(runner, config)
    assert result.exit_code == 0
    assert result.stdout.startswith("\n[DONE] ")
    failures = [l for l in result.stderr.splitlines() if "Failed to convert" in l]
    # The renderer was given a name of its own making, never the user's path.
    assert failures == ["ERROR FlowPage: Failed to convert bad.mmd: fake mmdc: parse error in batch-1.md"]
    out = tmp_path / "out"
    assert not (out / "bad.html").exists()
    lines = index_lines(tmp_path)
    assert 'href="doc.html"' in lines[20] and 'href="good.html"' in lines[21] and "bad" not in lines[21]
    # The renderer's output was captured: its error line is in the log line only.
    assert "fake mmdc" not in result.stdout and result.stderr.count("fake mmdc: parse error") == 1


def test_renderer_that_cannot_start_counts_as_failed(runner, tmp_path, fake_mmdc):
    fake_mmdc("\x7fELF but not really")
    result = convert(runner, site(tmp_path, {"a.mmd": "graph LR\n a-->b\n", "doc.md": "x"}))
    assert result.exit_code == 0
    assert "Failed to convert a.mmd: the renderer cannot run: command 'mmdc -i single-1.mmd -o single-1.svg'" in result.stderr
    assert "could not be started: Exec format error (status 127)" in result.stderr
    assert 'href="doc.html"' in index_lines(tmp_path)[20]


@pytest.mark.parametrize("stale", [False, True], ids=["no-file", "file-from-earlier-run"])
def test_renderer_success_without_svg_ends_the_run(runner, tmp_path, fake_mmdc, stale):
    config = site(tmp_path, {"doc.md": "# Doc", "a.mmd": "graph LR\n a-->b\n"})
    if stale:
        fake_mmdc()
        assert convert(runner, config).exit_code == 0
        (tmp_path / "out" / "index.html").unlink()
        (tmp_path / "out" / "a.html").unlink()
    fake_mmdc("#!/bin/sh\nexit 0\n")
    result = convert(runner, config)
    assert result.exit_code == 1
    assert result.stdout == "\n[ERROR] The renderer reported success for a.mmd but wrote no SVG file\n"
    out = tmp_path / "out"
    assert (out / "doc.html").exists()
    assert not (out / "index.html").exists() and not (out / "a.html").exists()


def test_documents_that_cannot_be_read_are_skipped(runner, tmp_path, fake_mmdc):
    fake_mmdc()
    config = site(tmp_path, {"latin1.md": b"caf\xe9", "fine.md": "fine"})
    (tmp_path / "in" / "folder.md").mkdir()
    result = convert(runner, config)
    assert result.exit_code == 0
    failed = sorted(l.split(": ", 1)[1] for l in result.stderr.splitlines() if "Failed to process" in l)
    assert len(failed) == 1
    assert failed[0].startswith("Failed to process latin1.md: 'utf-8' codec can't decode byte 0xe9")
    # A folder is no document: it is named, never opened.
    assert "INFO FlowPage: Left alone, not regular files: folder.md (a folder)" in result.stderr
    assert index_lines(tmp_path)[20].count("<li>") == 1


def test_which_names_count_and_in_what_order(runner, tmp_path, fake_mmdc):
    fake_mmdc()
    files = {"README.MD": "# Upper", "diagram.mmd.md": "doc", "notes.MMD": "graph LR\n a-->b\n",
             "notes.md.txt": "ignored", "z.md": "z", "a.mmd": "graph LR\n a-->b\n", "m.mmd": "graph LR\n a-->b\n"}
    config = site(tmp_path, files, doc_titles=flowpage.DEFAULT_CONFIG["config"]["doc_titles"])
    assert convert(runner, config).exit_code == 0
    # The folder's README leads, then items in natural order of their titles; a document without a
    # title entry shows its first heading.
    documents = ["README.html", "diagram.mmd.html", "z.html"]
    diagrams = ["a.html", "m.html", "notes.html"]
    lines = index_lines(tmp_path)
    assert lines[20].count("<li>") == 3 and lines[21].count("<li>") == 3
    hrefs = lambda line: [part.split('"', 1)[0] for part in line.split('href="')[1:]]
    assert hrefs(lines[20]) == documents and hrefs(lines[21]) == diagrams
    # README.MD is not the README.md of the title map: shown under its heading.
    assert '<span class="icon">📘</span> Upper</a>' in lines[20] and "README (v0.1)" not in lines[20]
    assert not (tmp_path / "out" / "notes.md.html").exists()


def test_same_base_name_never_overwrites_a_page_of_the_run(runner, tmp_path, fake_mmdc):
    fake_mmdc()
    config = site(tmp_path, {"x.md": "# Doc X", "x.mmd": "graph LR\n a-->b\n", "index.md": "# Index doc"},
                  chart_titles={"x.mmd": "Chart X"})
    result = convert(runner, config)
    assert result.exit_code == 0
    out = tmp_path / "out"
    assert "Doc X" in (out / "x.html").read_text(encoding="utf-8")
    assert "<svg" in (out / "x-2.html").read_text(encoding="utf-8") and (out / "x-2.svg").exists()
    assert "Index doc" in (out / "index-2.html").read_text(encoding="utf-8")
    lines = index_lines(tmp_path)
    assert 'href="x.html"' in lines[20] and 'href="index-2.html"' in lines[20]
    assert '<a href="x-2.html"><span class="icon">📊</span> Chart X</a>' in lines[21]


def test_titles_are_escaped_and_braces_kept(runner, tmp_path, fake_mmdc):
    fake_mmdc()
    config = site(tmp_path, {"a.md": "Body with <b>html</b> & {braces}\nsecond line\n"},
                  doc_titles={"a.md": 'Q&A <script>x</script> {title} "1"'}, index_title="Docs & <Notes>")
    assert convert(runner, config).exit_code == 0
    out = tmp_path / "out"
    page = (out / "a.html").read_text(encoding="utf-8").split("\n")
    shown = "Q&amp;A &lt;script&gt;x&lt;/script&gt; {title} &quot;1&quot;"
    assert page[5] == f"    <title>{shown}</title>"
    assert page[81] == f'        <div class="title-text">{shown}</div>'
    # The Markdown body stays as the converter made it; its second line is not indented.
    assert page[85:87] == ["        <p>Body with <b>html</b> &amp; {braces}", "second line</p>"]
    lines = index_lines(tmp_path)
    assert lines[5] == "    <title>Docs &amp; &lt;Notes&gt;</title>"
    assert f"</span> {shown}</a>" in lines[20]


def test_leftover_pages_stay_but_are_not_linked(runner, tmp_path, fake_mmdc):
    fake_mmdc()
    config = site(tmp_path, {"new.md": "new"})
    (tmp_path / "out").mkdir()
    (tmp_path / "out" / "old.html").write_text("old")
    assert convert(runner, config).exit_code == 0
    assert (tmp_path / "out" / "old.html").read_text() == "old"
    assert "old.html" not in (tmp_path / "out" / "index.html").read_text(encoding="utf-8")


def test_standalone_program_and_host(tmp_path, fake_mmdc):
    fake_mmdc()
    config = site(tmp_path, {"a.md": "# A"})
    env = {"PATH": os.environ["PATH"]}
    for program, args in (("flowpage", []), ("vel-kit", ["flowpage"])):
        result = run_program([*args, "-c", str(config)], tmp_path, env, program=program)
        assert result.returncode == 0, result.stderr
        assert result.stdout.endswith(f"\n[DONE] Successfully generated documentation in: {tmp_path / 'out'}/index.html\n")
    usage = run_program(["--help"], tmp_path, program="flowpage")
    assert usage.returncode == 0 and usage.stdout.startswith("Usage: flowpage [OPTIONS]")
    assert "Generate config_flowpage_template.json" in usage.stdout
    missing = run_program(["-c", str(tmp_path / "none.json")], tmp_path, program="flowpage")
    assert missing.returncode == 2 and "does not exist" in missing.stderr
