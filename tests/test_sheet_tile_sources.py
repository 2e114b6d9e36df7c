"""sheet-tile and its inputs as a user meets them: what the exit status
and the closing summary say, files that cannot be merged, protected PDFs,
odd file names, and a report that must never replace a source."""
import json
import os

import pytest
from pypdf import PdfReader, PdfWriter

from conftest import run_program
from sheet_tile_helpers import make_pdf, outline, qpdf_check, single_pages


def write_conf(path, conf):
    path.write_text(json.dumps({"config": conf}), encoding="utf-8")
    return path


def run_tile(tmp_path, conf):
    config = write_conf(tmp_path / "c.json", {"layout": {"cols": 2, "rows": 2}, **conf})
    return run_program(["sheet-tile", "-c", str(config)], tmp_path)


def last_line(result):
    return result.stderr.splitlines()[-1] if result.stderr else ""


def garbage(path):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"not a PDF at all")


# Each case: how the folder is set up, the configuration, the status, and
# the line the run ends with.
STATUS_CASES = {
    "clean": (lambda d: single_pages(d / "in", ["a.pdf", "b.pdf"]), {},
              0, "INFO SheetTile: Merged 2 of 2 PDF files into 1 sheets"),
    "partial": (lambda d: (single_pages(d / "in", ["a.pdf"]), garbage(d / "in" / "b.pdf")), {},
                0, "WARNING SheetTile: Merged 1 of 2 PDF files into 1 sheets; 1 failed: b.pdf"),
    "every-file-fails": (lambda d: garbage(d / "in" / "a.pdf"), {},
                         1, "WARNING SheetTile: Merged 0 of 1 PDF files into 0 sheets; 1 failed: a.pdf"),
    "empty-input": (lambda d: (d / "in").mkdir(), {}, 0, "WARNING SheetTile: No PDF files found to merge."),
    "missing-input": (lambda d: None, {}, 1, "WARNING SheetTile: No PDF files found to merge."),
    "unusable-configuration": (lambda d: single_pages(d / "in", ["a.pdf"]), {"layout": {"cols": 10 ** 20}},
                               1, "'config.layout.cols' must be a whole number of at most 1000"),
    "unwritable-output": (lambda d: (single_pages(d / "in", ["a.pdf"]), (d / "taken").mkdir()),
                          {"output_file": "taken"}, 1,
                          "exists and was not written by sheet-tile; it is left as it is."),
}


@pytest.mark.parametrize("case", list(STATUS_CASES))
def test_exit_status_and_closing_line(tmp_path, case):
    prepare, conf, status, ending = STATUS_CASES[case]
    prepare(tmp_path)
    result = run_tile(tmp_path, {"input_folder": "in", "output_file": "out.pdf", **conf})
    assert result.returncode == status, result.stderr
    assert ending in last_line(result)
    assert "Traceback" not in result.stderr
    assert (tmp_path / "out.pdf").exists() == (case in ("clean", "partial"))
    if case == "unwritable-output":
        assert (tmp_path / "taken").is_dir() and "Success" not in result.stdout


@pytest.mark.parametrize("content", [b'{"config": null}', b'{"config": []}', b"{}", b"[]", b"", b"\xff\xfe{}"],
                         ids=["config-null", "config-array", "no-config", "array", "empty", "not-utf8"])
def test_refused_configuration_never_exits_silently(tmp_path, content):
    (tmp_path / "c.json").write_bytes(content)
    result = run_program(["sheet-tile", "-c", "c.json"], tmp_path)
    assert result.returncode == 1
    assert "c.json" in result.stderr and "Traceback" not in result.stderr


@pytest.mark.parametrize("make, words", [
    (garbage, "the file is not a PDF file"),
    (lambda p: p.write_bytes(make_pdf(p.with_suffix(".tmp"), [(595, 842, None)] * 3).read_bytes()[:400]),
     "the file is damaged: "),
    (lambda p: make_pdf(p, [(595, 842, None)], encrypt="secret"),
     "the file is password-protected (a password is needed to open it)"),
    (lambda p: PdfWriter().write(p), "the file has no pages"),
], ids=["text-file", "truncated", "password", "no-pages"])
def test_a_file_that_cannot_be_merged_is_named_in_plain_words(tmp_path, make, words):
    single_pages(tmp_path / "in", ["a.pdf", "c.pdf"])
    make(tmp_path / "in" / "b.pdf")
    (tmp_path / "in" / "b.tmp").unlink(missing_ok=True)
    result = run_tile(tmp_path, {"input_folder": "in", "output_file": "out.pdf"})
    assert result.returncode == 0
    errors = [line for line in result.stderr.splitlines() if line.startswith("ERROR")]
    assert len(errors) == 1 and errors[0].startswith(f"ERROR SheetTile: Failed b.pdf: {words}")
    assert len(errors[0]) > len(f"ERROR SheetTile: Failed b.pdf: {words}") or not words.endswith(": ")
    assert outline(tmp_path / "out.pdf") == [("a.pdf", 0), ("c.pdf", 0)]
    # pypdf's own complaints about the file come through the tool's logger,
    # naming it.
    for line in result.stderr.splitlines():
        assert line.startswith(("INFO", "WARNING", "ERROR", "DEBUG")), line
        if line.startswith("WARNING") and "Merged" not in line:
            assert line.startswith("WARNING SheetTile: b.pdf: "), line


@pytest.mark.parametrize("algorithm", ["AES-256", "AES-128", "RC4-128"])
def test_protected_pdf_that_opens_without_a_password_is_merged(tmp_path, algorithm):
    writer = PdfWriter(clone_from=make_pdf(tmp_path / "plain.pdf", [(595, 842, (0, 0, 1))] * 2))
    writer.encrypt(user_password="", owner_password="owner", algorithm=algorithm)
    (tmp_path / "in").mkdir()
    writer.write(tmp_path / "in" / "locked.pdf")
    result = run_tile(tmp_path, {"input_folder": "in", "output_file": "out.pdf"})
    assert result.returncode == 0, result.stderr
    assert "ERROR" not in result.stderr
    assert outline(tmp_path / "out.pdf") == [("locked.pdf", 0)]
    qpdf_check(tmp_path / "out.pdf")


@pytest.mark.parametrize("readable", [True, False], ids=["pdf", "not-a-pdf"])
def test_file_name_that_is_not_utf8(tmp_path, readable):
    folder = tmp_path / "in"
    single_pages(folder, ["good.pdf"])
    odd = os.path.join(os.fsencode(folder), b"bad\xffname.pdf")
    if readable:
        make_pdf(os.fsdecode(odd), [(595, 842, None)])
    else:
        with open(odd, "wb") as out:
            out.write(b"x")
    result = run_tile(tmp_path, {"input_folder": "in", "output_file": "out.pdf"})
    assert result.returncode == 0 and "Traceback" not in result.stderr
    if readable:
        assert outline(tmp_path / "out.pdf") == [("bad\\xffname.pdf", 0), ("good.pdf", 0)]
    else:
        assert "ERROR SheetTile: Failed bad\\xffname.pdf: the file is not a PDF file" in result.stderr
        assert outline(tmp_path / "out.pdf") == [("good.pdf", 0)]


class TestNeverDestroyASource:
    @pytest.mark.parametrize("output", ["in/b.pdf", "in/../in/b.pdf", "link.pdf"])
    def test_input_named_as_output_is_refused_and_left_alone(self, tmp_path, output):
        single_pages(tmp_path / "in", ["a.pdf", "b.pdf"])
        os.link(tmp_path / "in" / "b.pdf", tmp_path / "link.pdf")
        before = (tmp_path / "in" / "b.pdf").read_bytes()
        result = run_tile(tmp_path, {"input_folder": "in", "output_file": output})
        assert result.returncode == 1
        assert f"ERROR SheetTile: Error: output_file {output} is one of the input PDFs" in result.stderr
        assert "[STEP 1]" not in result.stderr
        assert (tmp_path / "in" / "b.pdf").read_bytes() == before
        assert sorted(p.name for p in (tmp_path / "in").iterdir()) == ["a.pdf", "b.pdf"]

    def test_earlier_report_in_the_folder_is_left_out_and_replaced(self, tmp_path):
        single_pages(tmp_path / "in", ["a.pdf", "b.pdf"])
        conf = {"input_folder": "in", "output_file": "in/report.pdf"}
        assert run_tile(tmp_path, conf).returncode == 0
        first = (tmp_path / "in" / "report.pdf").read_bytes()
        single_pages(tmp_path / "in", ["c.pdf"])
        result = run_tile(tmp_path, conf)
        assert result.returncode == 0, result.stderr
        assert "Merged 3 of 3 PDF files" in result.stderr
        assert (tmp_path / "in" / "report.pdf").read_bytes() != first
        assert outline(tmp_path / "in" / "report.pdf") == [("a.pdf", 0), ("b.pdf", 0), ("c.pdf", 0)]
        assert PdfReader(tmp_path / "in" / "report.pdf").metadata.producer == "Velkit sheet-tile"
