"""The wheel `make wheel` builds runs on a machine without the system
libraries the modules were built against: it is installed into a fresh
virtual environment and every tool runs on the examples while those
libraries are hidden (bind-mounted over, in a mount namespace of its own)."""
import os
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

from conftest import REPO

pytestmark = pytest.mark.slow

NPM_BIN = REPO / "build" / "npm" / "node_modules" / ".bin"
# auditwheel names a copied library after its original with a hash:
# libxlsxwriter.so.4 becomes libxlsxwriter-1a2b3c4d.so.4.
COPIED_NAME = re.compile(r"^(?P<stem>.+?)-[0-9a-f]{8}(?P<suffix>\.so.*)$")


def can_hide_files():
    if os.geteuid() != 0 or not shutil.which("unshare"):
        return False
    probe = subprocess.run(["unshare", "-m", "--propagation", "private", "true"], capture_output=True)
    return probe.returncode == 0


def system_copy(soname):
    """Where the loader finds `soname` on this machine, or None."""
    listing = subprocess.run(["ldconfig", "-p"], capture_output=True, text=True, check=True).stdout
    for line in listing.splitlines():
        name, _, path = line.strip().partition(" => ")
        if name.split(" ", 1)[0] == soname and "x86-64" in name:
            return Path(path)
    return None


def linked_copies(venv):
    """The original names of the libraries the installed modules load from
    the wheel's own copies. Only these are hidden: the interpreter itself
    may need other system libraries that the wheel carries for its modules'
    sake (libcrypto for hashlib)."""
    site = next((venv / "lib").glob("python3*/site-packages"))
    names = set()
    for module in [*site.glob("velkit/**/*.so"), *site.glob("velutil/*.so")]:
        dynamic = subprocess.run(["readelf", "-d", str(module)], capture_output=True, text=True, check=True).stdout
        for needed in re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dynamic):
            copy = COPIED_NAME.match(needed)
            if copy:
                names.add(copy.expand(r"\g<stem>\g<suffix>"))
    return sorted(names)


def hidden(libraries, command):
    """`command` run with every file of `libraries` replaced by an empty one."""
    mounts = " && ".join(f"mount --bind /dev/null '{path}'" for path in libraries) or "true"
    return ["unshare", "-m", "--propagation", "private", "sh", "-c", f'{mounts} && exec "$@"', "sh", *command]


@pytest.fixture(scope="module")
def built_wheel():
    result = subprocess.run(["make", "-s", "wheel"], cwd=REPO, capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr
    wheels = sorted((REPO / "dist").glob("velkit-*.whl"))
    assert len(wheels) == 1, wheels
    return wheels[0]


@pytest.fixture(scope="module")
def fresh_install(built_wheel, tmp_path_factory):
    venv = tmp_path_factory.mktemp("fresh") / "venv"
    subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True)
    result = subprocess.run([str(venv / "bin" / "pip"), "install", "-q", f"{built_wheel}[all]"],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return venv


def test_the_wheel_is_manylinux_and_carries_the_libraries_it_links(built_wheel):
    assert re.search(r"-manylinux_\d+_\d+_x86_64\.whl$", built_wheel.name), built_wheel.name
    names = zipfile.ZipFile(built_wheel).namelist()
    copied = [Path(name).name for name in names if name.startswith("velkit.libs/")]
    assert any(name.startswith("libxlsxwriter-") for name in copied), copied
    assert not any(name.endswith((".cpp", ".hpp")) for name in names)


@pytest.mark.skipif(not can_hide_files(), reason="hiding system libraries needs root and mount namespaces")
def test_every_tool_runs_from_the_wheel_with_the_system_libraries_hidden(built_wheel, fresh_install, tmp_path):
    to_hide = [path for path in map(system_copy, linked_copies(fresh_install)) if path is not None]
    assert any(path.name.startswith("libxlsxwriter") for path in to_hide), to_hide

    work = tmp_path / "run"
    work.mkdir()
    shutil.copytree(REPO / "examples", work / "examples")
    env = dict(os.environ, PATH=f"{fresh_install / 'bin'}{os.pathsep}{NPM_BIN}{os.pathsep}{os.environ['PATH']}")
    env.pop("VELKIT_DEBUG", None)
    env.pop("PYTHONPATH", None)
    runs = {
        "picbook": ["vel-kit", "picbook", "-c", "examples/picbook/config.json"],
        "sheet-tile": ["sheet-tile", "-c", "examples/sheet_tile/config.json"],
        "flowpage": ["flowpage", "-c", "examples/flowpage/config.json"],
        "order-match": ["vel-kit", "order-match", "-c", "examples/order_match/config.json"],
        "receipt-sort": ["vel-kit", "receipt-sort", "-c", "examples/receipt_sort/config.json"],
    }
    for tool, command in runs.items():
        result = subprocess.run(hidden(to_hide, command), cwd=work, env=env, capture_output=True, text=True)
        assert result.returncode == 0, f"{tool}:\n{result.stdout}\n{result.stderr}"
        assert "cannot start" not in result.stderr, result.stderr
    assert (work / "examples/picbook/lab_report.pdf").is_file()
    assert (work / "examples/sheet_tile/merged_report.pdf").is_file()
    assert (work / "examples/flowpage/site/index.html").is_file()
    assert (work / "order_match_out/result.xlsx").is_file()
    assert any((work / "examples/receipt_sort/results").glob("*.xlsx"))


@pytest.mark.skipif(not can_hide_files(), reason="hiding system libraries needs root and mount namespaces")
def test_a_module_whose_library_is_missing_names_the_library(tmp_path):
    """The development install links the system's libxlsxwriter: hidden, the
    tools that need it say which library is missing, not which pip extra."""
    library = system_copy("libxlsxwriter.so.4")
    if library is None:
        pytest.skip("built without libxlsxwriter")
    env = dict(os.environ)
    env.pop("VELKIT_DEBUG", None)
    program = str(Path(sys.executable).parent / "vel-kit")
    result = subprocess.run(hidden([library], [program, "order-match", "--generate-config"]), cwd=tmp_path, env=env,
                            capture_output=True, text=True)
    assert result.returncode == 1
    assert "The 'order-match' tool cannot start: the system library libxlsxwriter.so.4 cannot be loaded" \
        in result.stderr, result.stderr
    assert "pip install" not in result.stderr
