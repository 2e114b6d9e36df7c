"""The rules every tool keeps about its outputs, its inputs and other runs:
a user's file is never replaced, a failed or empty run keeps an earlier
output, only regular files are read, one run at a time per folder."""
import json
import os
import signal
import subprocess
import sys
import time

import openpyxl
import pytest

from conftest import BIN, make_image, make_workbook, run_program

PDF_MAGIC = b"%PDF-1.4\n"


def user_pdf(path):
    """A PDF some other program wrote."""
    from pypdf import PdfWriter

    writer = PdfWriter()
    writer.add_blank_page(100, 100)
    writer.add_metadata({"/Producer": "Some Office Suite", "/Creator": "Writer"})
    with open(path, "wb") as handle:
        writer.write(handle)
    return path


def write_json(path, data):
    path.write_text(json.dumps(data), encoding="utf-8")
    return path


# --- one working setup per tool: (config path, the output it writes, its input folder) ---

def picbook_setup(tmp_path, output_name="report.pdf"):
    folder = tmp_path / "in"
    make_image(folder / "scan1.png", (40, 30))
    config = {"config": {"image_folder": str(folder), "output_file": output_name},
              "main_page": {"title_of_report": "T"}, "groups": [{"name": "Scans", "pattern": "scan"}]}
    return write_json(tmp_path / "c.json", config), folder / output_name, folder


def sheet_tile_setup(tmp_path, output_name="out/merged.pdf"):
    folder = tmp_path / "in"
    folder.mkdir(exist_ok=True)
    user_pdf(folder / "a.pdf")
    config = {"config": {"input_folder": str(folder), "output_file": str(tmp_path / output_name)}}
    return write_json(tmp_path / "c.json", config), tmp_path / output_name, folder


def flowpage_setup(tmp_path):
    folder = tmp_path / "in"
    folder.mkdir(exist_ok=True)
    (folder / "a.md").write_text("# A\n")
    config = {"config": {"input_folder": str(folder), "output_folder": str(tmp_path / "out")}}
    return write_json(tmp_path / "c.json", config), tmp_path / "out" / "index.html", folder


CELLS = {"system_data": {"po_cell": "A2", "so_cell": "B2", "so_pos_cell": "C2", "so_suffix_cell": "D2",
                         "qty_cell": "E2", "rdd_cell": "F2"},
         "customer_data": {"po_cell": "A2", "qty_cell": "B2", "rdd_cell": "C2"}}


def order_inputs(folder, system_lines, customer_lines):
    folder.mkdir(exist_ok=True)
    (folder / "sys.csv").write_text("PO,SO,SO_POS,SO_SUFFIX,QTY,RDD\n" + "".join(
        f"{po},{so},10,,{qty},2024-01-15\n" for po, so, qty in system_lines))
    book = openpyxl.Workbook()
    book.active.append(["PO", "QTY", "RDD"])
    for po, qty in customer_lines:
        book.active.append([po, qty, "2024-01-20"])
    book.save(folder / "cus.xlsx")


def order_match_setup(tmp_path):
    folder = tmp_path / "in"
    order_inputs(folder, [("P1", 7001, 5), ("P2", 7002, 3)], [("P1", 5), ("P2", 4)])
    config = {"config": {"system_data_path": str(folder / "sys.csv"), "customer_data_path": str(folder / "cus.xlsx"),
                         "output_dir": str(tmp_path / "out"), **CELLS}}
    return write_json(tmp_path / "c.json", config), tmp_path / "out" / "result.xlsx", folder


def receipt_sort_setup(tmp_path):
    folder = tmp_path / "in"
    make_workbook(folder / "r.xlsx", {"D6": "Ann", "P56": 5})
    config = {"config": {"path": str(folder)}, "excel_in": {"name_cell": "D6", "amount_cell": "P56"}}
    return write_json(tmp_path / "c.json", config), None, folder


SETUPS = {"picbook": picbook_setup, "sheet-tile": sheet_tile_setup, "flowpage": flowpage_setup,
          "order-match": order_match_setup, "receipt-sort": receipt_sort_setup}


@pytest.fixture
def stand_in_renderer(tmp_path, monkeypatch):
    """A renderer on PATH for flowpage; `script` replaces its body."""
    folder = tmp_path / "bin"
    folder.mkdir()

    def install(script='printf "<svg xmlns=\\"http://www.w3.org/2000/svg\\"/>" > "$4"\n'):
        (folder / "mmdc").write_text("#!/bin/sh\n" + script)
        (folder / "mmdc").chmod(0o755)
        return {"PATH": f"{folder}{os.pathsep}{os.environ['PATH']}"}
    return install


def run_tool(tool, config, cwd, env=None):
    return run_program([tool, "-c", str(config)], cwd=cwd, env_extra=env)


# --- a user's file is never replaced ---

FOREIGN = {
    "picbook": lambda tmp_path: picbook_setup(tmp_path, "datasheet.pdf"),
    "sheet-tile-text": lambda tmp_path: sheet_tile_setup(tmp_path, "notes.txt"),
    "sheet-tile-pdf": lambda tmp_path: sheet_tile_setup(tmp_path, "thesis.pdf"),
    "order-match": order_match_setup,
}


@pytest.mark.parametrize("case", FOREIGN, ids=FOREIGN.keys())
def test_a_users_file_named_as_the_output_is_left_alone(tmp_path, case):
    config, output, _ = FOREIGN[case](tmp_path)
    output.parent.mkdir(exist_ok=True)
    if output.suffix == ".pdf":
        user_pdf(output)
    elif output.suffix == ".xlsx":
        make_workbook(output, {"A1": "the user's own sheet"})
    else:
        output.write_text("my notes")
    before = output.read_bytes()
    tool = case.split("-text")[0].split("-pdf")[0]
    result = run_tool(tool, config, tmp_path)
    assert result.returncode == 1, result.stderr
    assert output.read_bytes() == before
    assert f"{output} exists and was not written by {tool}; it is left as it is" in result.stderr + result.stdout


@pytest.mark.parametrize("tool", ["picbook", "sheet-tile", "order-match"])
def test_the_tools_own_earlier_output_is_replaced(tmp_path, tool):
    config, output, _ = SETUPS[tool](tmp_path)
    assert run_tool(tool, config, tmp_path).returncode == 0
    first = output.stat().st_mtime_ns
    time.sleep(0.01)
    result = run_tool(tool, config, tmp_path)
    assert result.returncode == 0, result.stderr
    assert output.stat().st_mtime_ns != first


@pytest.mark.parametrize("tool", ["picbook", "sheet-tile"])
def test_the_own_report_is_known_without_pypdf(tmp_path, tool):
    """pypdf is a test dependency only: a user's install has none."""
    config, output, _ = SETUPS[tool](tmp_path)
    code = ("import sys\nsys.modules['pypdf'] = None\nfrom velkit import _host\n"
            f"sys.argv = ['vel-kit', {tool!r}, '-c', {str(config)!r}]\n_host.main()\n")
    for _ in range(2):
        result = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True)
        assert result.returncode == 0, result.stderr
    assert output.exists()


# --- a run with nothing to put out keeps the earlier output ---

def test_picbook_keeps_its_report_when_nothing_or_only_broken_images_match(tmp_path):
    config, output, folder = picbook_setup(tmp_path)
    assert run_tool("picbook", config, tmp_path).returncode == 0
    good = output.read_bytes()
    data = json.loads(config.read_text())
    data["groups"][0]["pattern"] = "scna"  # a typo: nothing matches
    write_json(config, data)
    run_tool("picbook", config, tmp_path)
    assert output.read_bytes() == good
    data["groups"][0]["pattern"] = "broken"
    write_json(config, data)
    (folder / "broken1.png").write_bytes(b"\x89PNG\r\n\x1a\n truncated")
    (folder / "broken2.png").write_bytes(b"")
    result = run_tool("picbook", config, tmp_path)
    assert result.returncode == 1
    assert output.read_bytes() == good
    assert "Success!" not in result.stderr
    assert f"no report was written; the earlier report {output} is left as it was" in result.stderr


def test_order_match_removes_a_result_that_no_longer_holds(tmp_path):
    config, result_path, folder = order_match_setup(tmp_path)
    assert run_tool("order-match", config, tmp_path).returncode == 0
    unmatched = result_path.parent / "unmatched.xlsx"
    assert result_path.exists() and unmatched.exists()
    order_inputs(folder, [("P1", 7001, 5)], [("Q9", 5)])  # nothing matches now
    result = run_tool("order-match", config, tmp_path)
    assert result.returncode == 0, result.stderr
    assert not result_path.exists()
    assert f"INFO OrderMatch: Removed {result_path} of an earlier run" in result.stderr
    assert unmatched.exists()  # the new list of what did not match
    (folder / "sys.csv").unlink()  # a failing run
    assert run_tool("order-match", config, tmp_path).returncode == 1
    assert not unmatched.exists()


def test_order_match_never_leaves_a_new_result_beside_an_old_unmatched_list(tmp_path):
    """Killed at moments spread over a run: the pair is either the old one,
    or the new result without the old list."""
    config, result_path, folder = order_match_setup(tmp_path)
    unmatched = result_path.parent / "unmatched.xlsx"
    lines = [(f"P{n}", 7000 + n, n % 7 + 1) for n in range(4000)]
    order_inputs(folder, lines, [(po, qty) for po, _, qty in lines[::2]])
    assert run_tool("order-match", config, tmp_path).returncode == 0
    old_result, old_unmatched = result_path.read_bytes(), unmatched.read_bytes()
    order_inputs(folder, lines, [(po, qty) for po, _, qty in lines[1::2]])
    started = time.monotonic()
    assert run_tool("order-match", config, tmp_path).returncode == 0
    duration = time.monotonic() - started
    for fraction in (0.5, 0.6, 0.7, 0.75, 0.8, 0.85, 0.9, 0.95):
        result_path.write_bytes(old_result)
        unmatched.write_bytes(old_unmatched)
        process = subprocess.Popen([str(BIN / "vel-kit"), "order-match", "-c", str(config)], cwd=tmp_path,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(duration * fraction)
        process.kill()
        process.wait()
        new_result = result_path.exists() and result_path.read_bytes() != old_result
        old_list = unmatched.exists() and unmatched.read_bytes() == old_unmatched
        assert not (new_result and old_list), f"mixed pair after a kill at {fraction:.0%} of the run"


# --- only regular files are read ---

def make_odd_entries(folder, extension):
    (folder / f"folder{extension}").mkdir()
    os.mkfifo(folder / f"fifo{extension}")
    os.symlink(folder / "nowhere", folder / f"dangling{extension}")


@pytest.mark.parametrize("tool,extension", [("picbook", ".png"), ("sheet-tile", ".pdf"), ("flowpage", ".md"),
                                            ("receipt-sort", ".xlsx")])
def test_folders_fifos_and_dangling_links_are_left_alone_and_named(tmp_path, stand_in_renderer, tool, extension):
    config, _, folder = SETUPS[tool](tmp_path)
    make_odd_entries(folder, extension)
    env = stand_in_renderer() if tool == "flowpage" else None
    result = subprocess.run([str(BIN / "vel-kit"), tool, "-c", str(config)], cwd=tmp_path, capture_output=True,
                            text=True, timeout=120, env={**os.environ, **(env or {})})
    assert result.returncode == 0, result.stderr
    assert (f"Left alone, not regular files: dangling{extension} (a dangling link), fifo{extension} (a FIFO), "
            f"folder{extension} (a folder)") in result.stderr


def test_order_match_names_an_input_that_is_not_a_file(tmp_path):
    config, _, folder = order_match_setup(tmp_path)
    (folder / "sys.csv").unlink()
    os.mkfifo(folder / "sys.csv")
    result = subprocess.run([str(BIN / "vel-kit"), "order-match", "-c", str(config)], cwd=tmp_path,
                            capture_output=True, text=True, timeout=60)
    assert result.returncode == 1
    assert str(folder / "sys.csv") in result.stdout


@pytest.mark.parametrize("tool,key", [("picbook", "image_folder"), ("sheet-tile", "input_folder"),
                                      ("flowpage", "input_folder"), ("receipt-sort", "path")])
def test_an_input_folder_that_is_a_file_is_not_a_folder(tmp_path, stand_in_renderer, tool, key):
    config, _, _ = SETUPS[tool](tmp_path)
    (tmp_path / "plain.txt").write_text("x")
    data = json.loads(config.read_text())
    data["config"][key] = str(tmp_path / "plain.txt")
    write_json(config, data)
    result = run_tool(tool, config, tmp_path, stand_in_renderer() if tool == "flowpage" else None)
    assert result.returncode == 1
    assert f"{tmp_path / 'plain.txt'} is not a folder" in result.stderr + result.stdout


# --- one run at a time ---

HOLD_LOCK = """
import fcntl, os, sys, time
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_DIRECTORY)
fcntl.flock(fd, fcntl.LOCK_EX)
print("held", flush=True)
time.sleep(60)
"""


@pytest.mark.parametrize("tool", SETUPS)
def test_a_second_run_on_a_locked_folder_ends_at_once(tmp_path, stand_in_renderer, tool):
    config, output, folder = SETUPS[tool](tmp_path)
    locked = folder if tool in ("picbook", "receipt-sort") else output.parent
    locked.mkdir(exist_ok=True)
    env = stand_in_renderer() if tool == "flowpage" else None
    holder = subprocess.Popen([sys.executable, "-c", HOLD_LOCK, str(locked)], stdout=subprocess.PIPE, text=True)
    try:
        assert holder.stdout.readline() == "held\n"
        before = sorted(p.name for p in tmp_path.rglob("*"))
        result = run_tool(tool, config, tmp_path, env)
        assert result.returncode == 1
        expected = "another run is sorting this folder" if tool == "receipt-sort" else f"another run is using {locked}"
        assert expected in result.stderr + result.stdout
        assert sorted(p.name for p in tmp_path.rglob("*")) == before
    finally:
        holder.kill()
        holder.wait()
    assert run_tool(tool, config, tmp_path, env).returncode == 0, "the lock ended with its holder"


# --- bounded runs ---

def test_a_hanging_renderer_is_ended_at_the_time_limit(tmp_path, stand_in_renderer):
    config, index, folder = flowpage_setup(tmp_path)
    (folder / "hang.mmd").write_text("graph LR\n a-->b\n")
    data = json.loads(config.read_text())
    data["config"]["renderer_timeout"] = 1
    write_json(config, data)
    pids = tmp_path / "pids"
    env = stand_in_renderer(f"echo $$ >> {pids}\n"
                            f"setsid sh -c 'echo $$ >> {pids}; exec sleep 300' &\n"
                            "exec sleep 300\n")
    started = time.monotonic()
    result = run_tool("flowpage", config, tmp_path, env)
    assert time.monotonic() - started < 30
    assert result.returncode == 0, result.stderr
    assert "Failed to convert hang.mmd: command 'mmdc -i single-1.mmd -o single-1.svg' timed out after 1 s" in result.stderr
    assert index.exists() and (index.parent / "a.html").exists()
    time.sleep(0.5)
    for pid in map(int, pids.read_text().split()):
        with pytest.raises(ProcessLookupError):
            os.kill(pid, 0)


@pytest.mark.parametrize("which,status", [(signal.SIGTERM, 143), (signal.SIGINT, 130)], ids=["SIGTERM", "SIGINT"])
def test_a_signal_during_a_batch_ends_the_run_cleanly(tmp_path, stand_in_renderer, which, status):
    config, _, folder = flowpage_setup(tmp_path)
    for n in range(3):
        (folder / f"d{n}.mmd").write_text(f"graph LR\n a{n}-->b\n")
    pids = tmp_path / "pids"
    env = stand_in_renderer(f"echo $$ >> {pids}\n"
                            f"setsid sh -c 'echo $$ >> {pids}; exec sleep 300' &\n"
                            "exec sleep 300\n")
    process = subprocess.Popen([str(BIN / "vel-kit"), "flowpage", "-c", str(config)], cwd=tmp_path,
                               env={**os.environ, **env}, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    for _ in range(300):
        if pids.exists() and len(pids.read_text().split()) == 2:
            break
        time.sleep(0.05)
    process.send_signal(which)
    _, err = process.communicate(timeout=30)
    assert process.returncode == status, err
    assert b"Traceback" not in err
    time.sleep(0.5)
    for pid in map(int, pids.read_text().split()):
        with pytest.raises(ProcessLookupError):
            os.kill(pid, 0)
    assert not list((tmp_path / "out").rglob("work-*")), "the scratch folder was left behind"


# --- templates ---

@pytest.mark.parametrize("tool,template", [("picbook", "config_picbook_template.json"),
                                           ("order-match", "config_order_match_template.json"),
                                           ("receipt-sort", "config_expense_template.json")])
def test_generate_config_never_replaces_an_edited_template(tmp_path, tool, template):
    assert run_program([tool, "--generate-config"], cwd=tmp_path).returncode == 0
    again = run_program([tool, "--generate-config"], cwd=tmp_path)
    assert again.returncode == 0, "the same template again is fine"
    edited = (tmp_path / template).read_text().replace("{", '{\n    "mine": 1,', 1)
    (tmp_path / template).write_text(edited)
    result = run_program([tool, "--generate-config"], cwd=tmp_path)
    assert result.returncode == 1
    assert f"{tmp_path / template} exists and differs from the template" in result.stderr
    assert (tmp_path / template).read_text() == edited
