"""Shared fixtures: the installed package, a click runner, sample images."""
import json
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest
from click.testing import CliRunner

import velkit

REPO = Path(__file__).resolve().parent.parent
BIN = Path(sys.executable).parent

# The source folder also holds a "velkit" directory; the tests must exercise
# the built extension modules, not that folder.
if Path(velkit.__file__).resolve().parent == REPO / "velkit":
    raise RuntimeError("tests import the source folder instead of the installed velkit; run them with .venv/bin/pytest")


@pytest.fixture
def runner():
    return CliRunner()


def build_list_of_tools():
    """The tools named in VELKIT_TOOLS (velkit/CMakeLists.txt), the build's one list of tools."""
    text = (REPO / "velkit" / "CMakeLists.txt").read_text()
    return re.search(r"set\(VELKIT_TOOLS(.*?)\)", text, re.S).group(1).split()


def run_program(args, cwd, env_extra=None, program="vel-kit"):
    """Runs an installed program as a user would and returns the completed process."""
    env = dict(os.environ)
    env.pop("VELKIT_DEBUG", None)
    env.update(env_extra or {})
    return subprocess.run([str(BIN / program), *args], cwd=cwd, env=env, capture_output=True, text=True)


def run_python(code, cwd, env_extra=None):
    env = dict(os.environ)
    env.pop("VELKIT_DEBUG", None)
    env.update(env_extra or {})
    return subprocess.run([sys.executable, "-c", code], cwd=cwd, env=env, capture_output=True, text=True)


def make_image(path, size, color=(40, 90, 160)):
    from PIL import Image

    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    fmt = "JPEG" if path.suffix.lower() in (".jpg", ".jpeg") else None
    Image.new("RGB", size, color).save(path, format=fmt)
    return path


def write_config(path, config, main_page=None, groups=None):
    data = {"config": config, "main_page": main_page or {"title_of_report": "Test Report"}, "groups": groups or []}
    Path(path).write_text(json.dumps(data), encoding="utf-8")
    return path


def make_workbook(path, cells, sheet_title=None):
    """An .xlsx file whose active sheet holds `cells` ({"D6": value, ...})."""
    from openpyxl import Workbook

    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    book = Workbook()
    sheet = book.active
    if sheet_title:
        sheet.title = sheet_title
    for reference, value in cells.items():
        sheet[reference] = value
    book.save(path)
    return path


def store_formula_result(path, reference, value):
    """Writes `value` as the saved result of the formula in `reference`, as a
    spreadsheet program does when it saves a computed workbook."""
    import zipfile

    with zipfile.ZipFile(path) as source:
        parts = {name: source.read(name) for name in source.namelist()}
    sheet = parts["xl/worksheets/sheet1.xml"].decode()
    start = sheet.index(f'<c r="{reference}">')
    end = sheet.index("<v />", start)
    parts["xl/worksheets/sheet1.xml"] = (sheet[:end] + f"<v>{value}</v>" + sheet[end + 5:]).encode()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
        for name, data in parts.items():
            target.writestr(name, data)
    return path
