"""The contract of every tool's command, checked once for each tool of the
build list: the command's shape, --generate-config, --help, and the
configurations that cannot be used (see also test_outcomes.py)."""
import importlib
import json

import pytest

from conftest import build_list_of_tools, run_program

TOOLS = build_list_of_tools()

# The one thing a tool names for itself: where its template goes.
TEMPLATES = {
    "picbook": "config_picbook_template.json",
    "sheet_tile": "config_sheet_tile_template.json",
    "flowpage": "config_flowpage_template.json",
    "order_match": "config_order_match_template.json",
    "receipt_sort": "config_expense_template.json",
}


def command_of(tool):
    return getattr(importlib.import_module(f"velkit.{tool}"), f"cmd_{tool}")


def test_every_tool_of_the_build_list_has_a_template_name():
    assert sorted(TEMPLATES) == sorted(TOOLS)


@pytest.mark.parametrize("tool", TOOLS)
def test_command_takes_the_two_options(tool):
    command = command_of(tool)
    assert command.name == tool.replace("_", "-")
    # The tool's two options, then the switches every command shares.
    assert [p.name for p in command.params] == ["config", "generate_config", "quiet", "verbose", "version"]
    assert command.help and command.callback.__doc__


@pytest.mark.parametrize("extra", [[], ["--config", "x.json"]], ids=["alone", "with-config"])
@pytest.mark.parametrize("tool", TOOLS)
def test_generate_config_writes_the_template_and_ignores_the_config(runner, tmp_path, monkeypatch, tool, extra):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "x.json").write_text("not even JSON")
    result = runner.invoke(command_of(tool), ["--generate-config", *extra])
    assert result.exit_code == 0, result.output
    written = tmp_path / TEMPLATES[tool]
    assert result.output in (f"Success! Template file created at: {written}\n", f"Template created: {written}\n")
    template = json.loads(written.read_text(encoding="utf-8"))
    assert isinstance(template.get("config"), dict)
    # order-match keeps its template in C++ only; its own tests read it.
    default = getattr(importlib.import_module(f"velkit.{tool}"), "DEFAULT_CONFIG", template)
    assert template == default


@pytest.mark.parametrize("tool", TOOLS)
def test_no_option_is_an_error_naming_the_option(runner, tool):
    result = runner.invoke(command_of(tool), [])
    assert result.exit_code == 1
    assert result.output.startswith("Error: Please provide a JSON ")
    assert "-c" in result.output.splitlines()[0]


@pytest.mark.parametrize("tool", TOOLS)
def test_missing_config_path_is_a_usage_error(runner, tmp_path, tool):
    result = runner.invoke(command_of(tool), ["-c", str(tmp_path / "none.json")])
    assert result.exit_code == 2
    assert "does not exist" in result.output


@pytest.mark.parametrize("tool", TOOLS)
def test_help_through_the_host_names_both_options(tmp_path, tool):
    result = run_program([tool.replace("_", "-"), "--help"], tmp_path)
    assert result.returncode == 0
    assert "--config" in result.stdout and "--generate-config" in result.stdout
