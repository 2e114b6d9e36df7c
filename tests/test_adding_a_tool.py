"""Adding a tool takes its folder, its descriptor and its entry in the list
of tools: a minimal tool (tests/sample_tool), built here with the host and
nothing else, appears in vel-kit's listing and keeps the contract."""
import json
import os
import shutil
import subprocess
import sys

import pytest

from conftest import REPO

pytestmark = pytest.mark.slow

BUILD = REPO / "build" / "sample-tool"


def run_or_show(args):
    result = subprocess.run(args, capture_output=True, text=True)
    assert result.returncode == 0, result.stdout[-3000:] + result.stderr[-3000:]


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    """A velkit package holding only the host and the sample tool."""
    cmake_dir = subprocess.run([sys.executable, "-m", "pybind11", "--cmakedir"], capture_output=True, text=True,
                               check=True).stdout.strip()
    run_or_show(["cmake", "-S", str(REPO), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=Release",
                    "-DVELKIT_BUILD_MODULES=ON", "-DVELKIT_BUILD_TESTS=OFF", f"-Dpybind11_DIR={cmake_dir}",
                    f"-DPython_EXECUTABLE={sys.executable}", f"-DVELKIT_EXTRA_TOOLS={REPO / 'tests' / 'sample_tool'}"])
    run_or_show(["cmake", "--build", str(BUILD), "-j", "2", "--target", "_host", "sample_tool"])
    root = tmp_path_factory.mktemp("site")
    (root / "velkit").mkdir()
    shutil.copy(REPO / "velkit" / "__init__.py", root / "velkit")
    for built in [*BUILD.glob("velkit/_host.*.so"), *BUILD.glob("velkit/sample_tool/sample_tool.*.so")]:
        shutil.copy(built, root / "velkit")
    return root


def vel_kit(package, args, cwd):
    env = dict(os.environ, PYTHONPATH=str(package))
    env.pop("VELKIT_DEBUG", None)
    code = "import sys; sys.argv[0] = 'vel-kit'; from velkit import _host; _host.main()"
    return subprocess.run([sys.executable, "-c", code, *args], cwd=cwd, env=env, capture_output=True, text=True)


def test_the_new_tool_is_listed_and_described(package, tmp_path):
    result = vel_kit(package, ["--help"], tmp_path)
    assert result.returncode == 0, result.stderr
    assert "sample-tool  Greet the names of a configuration" in result.stdout
    # Only what this package holds is offered.
    assert "picbook" not in result.stdout
    help_text = vel_kit(package, ["sample-tool", "--help"], tmp_path).stdout
    assert "--config" in help_text and "Generate config_sample_tool_template.json" in help_text


def test_the_new_tool_keeps_the_frames_steps_and_statuses(package, tmp_path):
    missing = vel_kit(package, ["sample-tool"], tmp_path)
    assert (missing.returncode, missing.stdout.splitlines()) == (1, [
        "Error: Please provide a JSON file path using --config or -c.",
        "Hint: Run 'vel-kit sample-tool --generate-config' to get a template."])

    written = vel_kit(package, ["sample-tool", "--generate-config"], tmp_path)
    template = tmp_path / "config_sample_tool_template.json"
    assert written.stdout == f"Success! Template file created at: {template}\n"
    assert json.loads(template.read_text()) == {"config": {"names": ["Ann", "Bob"]}}

    run = vel_kit(package, ["sample-tool", "-c", template.name], tmp_path)
    assert run.returncode == 0, run.stderr
    assert run.stderr.splitlines() == ["INFO SampleTool: Hello, Ann", "INFO SampleTool: Hello, Bob",
                                       "INFO SampleTool: Greeted 2 names"]

    for config, status in (({"config": {"names": ["", ""]}}, 1), ({"config": None}, 1),
                           ({"config": {"names": ["Ann", ""], "nmaes": 1}}, 0)):
        (tmp_path / "c.json").write_text(json.dumps(config))
        result = vel_kit(package, ["sample-tool", "-c", "c.json"], tmp_path)
        assert result.returncode == status, (config, result.stderr)
        assert "Traceback" not in result.stderr
    assert "unknown key 'nmaes' in 'config'" in result.stderr
