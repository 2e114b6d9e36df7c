"""The vel-kit host: listing, lazy imports, version, error display."""
import re

import pytest

from conftest import build_list_of_tools, make_image, run_program, run_python, write_config


def test_help_lists_built_tools_without_importing_them(tmp_path):
    code = (
        "import sys\n"
        "from velkit import _host\n"
        "sys.argv = ['vel-kit', '--help']\n"
        "try:\n    _host.main()\n"
        "except SystemExit as e:\n    print('exit', e.code)\n"
        "print('imported' if 'velkit.picbook' in sys.modules or 'fpdf' in sys.modules else 'lazy')\n"
    )
    result = run_python(code, tmp_path)
    assert "picbook" in result.stdout
    assert "Build a PDF lab report from a folder of images." in result.stdout
    assert result.stdout.rstrip().endswith("lazy")
    assert "exit 0" in result.stdout


def test_every_tool_of_the_build_list_is_offered(tmp_path):
    """The host lists what the build list names, from each tool's own listing."""
    listing = run_program(["--help"], tmp_path).stdout
    commands = re.findall(r"^  (\S+)", listing.split("Commands:")[1], re.M)
    assert commands == [tool.replace("_", "-") for tool in build_list_of_tools()]
    for command in commands:
        assert run_program([command, "--help"], tmp_path).returncode == 0, command


@pytest.mark.parametrize("program", ["vel-kit", "velkit"])
def test_both_program_names_run_the_host(tmp_path, program):
    result = run_program(["--version"], tmp_path, program=program)
    assert result.returncode == 0
    assert result.stdout.startswith("vel-kit, version ")


def test_unknown_command_is_a_usage_error(tmp_path):
    result = run_program(["no-such-tool"], tmp_path)
    assert result.returncode == 2
    assert "No such command" in result.stderr


def test_tool_that_cannot_start_names_its_extra(tmp_path):
    code = (
        "import sys\n"
        "sys.modules['velutil.parseTools'] = None\n"
        "from velkit import _host\n"
        "sys.argv = ['vel-kit', 'picbook', '--help']\n"
        "_host.main()\n"
    )
    result = run_python(code, tmp_path)
    assert result.returncode == 1
    assert "The 'picbook' tool cannot start:" in result.stderr
    assert "pip install 'velkit[pdf]'" in result.stderr
    assert "Traceback" not in result.stderr


@pytest.mark.parametrize(
    "shadow, problem",
    [
        ("raise ModuleNotFoundError(\"No module named 'pandas'\", name='pandas')",
         "the package 'pandas' is missing (No module named 'pandas')"),
        ("raise ImportError(\"cannot import name 'x' from 'numpy'\", name='numpy')",
         "the package 'numpy' cannot be imported (cannot import name 'x' from 'numpy')"),
    ],
    ids=["missing", "broken"],
)
def test_tool_that_cannot_start_names_the_package(tmp_path, shadow, problem):
    (tmp_path / "pandas.py").write_text(shadow + "\n")
    result = run_program(["order-match", "--help"], tmp_path, {"PYTHONPATH": str(tmp_path)})
    assert result.returncode == 1
    assert result.stderr.splitlines() == [
        f"Error: The 'order-match' tool cannot start: {problem}.",
        "Install them with: pip install 'velkit[excel]'",
    ]


@pytest.fixture
def broken_image_config(tmp_path, monkeypatch):
    """A picbook run that meets an error no step of the tool handles: the PDF
    library breaks down while writing (put there through sitecustomize, as
    picbook handles every damaged image itself)."""
    folder = tmp_path / "images"
    make_image(folder / "scan_bad.png", (40, 30))
    hooks = tmp_path / "hooks"
    hooks.mkdir()
    (hooks / "sitecustomize.py").write_text(
        "import fpdf\n"
        "def output(self, *args, **kwargs):\n"
        "    raise RuntimeError('scan_bad.png: the PDF library broke down')\n"
        "fpdf.FPDF.output = output\n"
    )
    monkeypatch.setenv("PYTHONPATH", str(hooks))
    return write_config(
        tmp_path / "config.json", {"image_folder": str(folder)}, groups=[{"name": "Scans", "pattern": "scan"}]
    )


def test_uncaught_error_is_one_line_without_traceback(tmp_path, broken_image_config):
    result = run_program(["picbook", "-c", str(broken_image_config)], tmp_path)
    assert result.returncode == 1
    error_lines = [line for line in result.stderr.splitlines() if line.startswith("Error: ")]
    assert len(error_lines) == 1
    assert "scan_bad.png" in error_lines[0]
    assert "Traceback" not in result.stderr


def test_debug_mode_shows_the_traceback(tmp_path, broken_image_config):
    result = run_program(["picbook", "-c", str(broken_image_config)], tmp_path, {"VELKIT_DEBUG": "1"})
    assert result.returncode == 1
    assert "Traceback" in result.stderr
    assert result.stderr.rstrip().splitlines()[-1].startswith("Error: ")
