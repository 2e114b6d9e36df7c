"""The contract every tool keeps, checked once for each tool the build
lists: its module and command as the frame makes them from the tool's
descriptor, --help, --generate-config, the missing and unusable
configurations, and the template's keys."""
import importlib
import json
import os

import pytest

from conftest import REPO, build_list_of_tools, run_program

TOOLS = build_list_of_tools()

# What the user reads, spelt out here and not taken from the descriptors:
# (command object's help or None for HELP_TEXT, --config help, --generate-config
# help, callback doc, the lines printed without --config).
STANDARD_MISSING = "Error: Please provide a JSON file path using --config or -c."
TEXTS = {
    "picbook": (None, "Specify the JSON config file path",
                "Generate a config_picbook_template.json in the current directory",
                "Command entry point for PicBook Generator",
                [STANDARD_MISSING, "Hint: Run 'vel-kit picbook --help' to see the template."]),
    "sheet_tile": ("Merge multiple PDF files into a single layout report.", "Specify the JSON config file path",
                   "Generate a config_sheet_tile_template.json in the current directory",
                   "Command entry point for Sheet Tile Tool",
                   [STANDARD_MISSING, "Hint: Run 'velkit sheet-tile --generate-config' to get a template."]),
    "flowpage": ("Convert .mmd and markdown files into static HTML pages.", "Specify the JSON config file path",
                 "Generate config_flowpage_template.json", "Command entry point for FlowPage Generator",
                 [STANDARD_MISSING, "Hint: Run 'vel-kit flowpage --generate-config' to get a template."]),
    "order_match": ("Order Match: Data processing and SOP generator.", "Path to JSON config file",
                    "Generate config_order_match_template.json", "Order Match CLI Entry Point",
                    ["Error: Please provide a JSON config file using -c."]),
    "receipt_sort": (None, "Specify the JSON config file path",
                     "Generate a config_expense_template.json in the current directory",
                     "Command entry point for Receipt Sort",
                     [STANDARD_MISSING, "Hint: Run 'vel-kit receipt-sort --help' to see the template."]),
}
LOGGERS = {"picbook": "PicBook", "sheet_tile": "SheetTile", "flowpage": "FlowPage", "order_match": "OrderMatch",
           "receipt_sort": "ReceiptSort"}
TEMPLATES = {"picbook": "config_picbook_template.json", "sheet_tile": "config_sheet_tile_template.json",
             "flowpage": "config_flowpage_template.json", "order_match": "config_order_match_template.json",
             "receipt_sort": "config_expense_template.json"}


def module_of(tool):
    return importlib.import_module(f"velkit.{tool}")


def command_of(tool):
    return getattr(module_of(tool), f"cmd_{tool}")


def test_every_tool_of_the_build_list_is_described_here():
    assert sorted(TEXTS) == sorted(LOGGERS) == sorted(TEMPLATES) == sorted(TOOLS)


@pytest.mark.parametrize("tool", TOOLS)
def test_module_and_command_are_made_from_the_descriptor(tool):
    module, command = module_of(tool), command_of(tool)
    help_text, config_help, generate_help, callback_doc, _ = TEXTS[tool]
    assert command.name == tool.replace("_", "-")
    # The tool's two options, then the switches every command shares.
    assert [p.name for p in command.params] == ["config", "generate_config", "quiet", "verbose", "version"]
    assert [p.help for p in command.params[:2]] == [config_help, generate_help]
    assert command.callback.__doc__ == callback_doc
    assert command.help == (help_text if help_text is not None else module.HELP_TEXT)
    assert module.log.name == LOGGERS[tool]
    assert callable(module.main)
    # The template is on the module, except where the callback makes it.
    assert hasattr(module, "DEFAULT_CONFIG") == (tool != "order_match")


@pytest.mark.parametrize("extra", [[], ["--config", "x.json"]], ids=["alone", "with-config"])
@pytest.mark.parametrize("tool", TOOLS)
def test_generate_config_writes_the_template_and_ignores_the_config(runner, tmp_path, monkeypatch, tool, extra):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "x.json").write_text("not even JSON")
    result = runner.invoke(command_of(tool), ["--generate-config", *extra])
    assert result.exit_code == 0, result.output
    written = tmp_path / TEMPLATES[tool]
    prefix = "Template created: " if tool == "order_match" else "Success! Template file created at: "
    assert result.output == f"{prefix}{written}\n"
    template = json.loads(written.read_text(encoding="utf-8"))
    assert isinstance(template.get("config"), dict)
    assert template == getattr(module_of(tool), "DEFAULT_CONFIG", template)


@pytest.mark.parametrize("tool", TOOLS)
def test_no_option_prints_the_missing_configuration_lines(runner, tool):
    result = runner.invoke(command_of(tool), [])
    assert result.exit_code == 1
    assert result.output.splitlines() == TEXTS[tool][4]


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


UNUSABLE = {
    "config-null": b'{"config": null}',
    "config-array": b'{"config": []}',
    "empty-object": b"{}",
    "top-level-array": b"[]",
    "empty-file": b"",
    "not-utf8": b'{"config": "\xff"}',
}


@pytest.mark.parametrize("content", UNUSABLE.values(), ids=UNUSABLE.keys())
@pytest.mark.parametrize("tool", TOOLS)
def test_unusable_configuration_ends_with_status_one_and_a_message(tmp_path, tool, content):
    (tmp_path / "c.json").write_bytes(content)
    result = run_program([tool.replace("_", "-"), "-c", "c.json"], cwd=tmp_path)
    assert result.returncode == 1, result.stderr
    assert result.stderr.strip() or result.stdout.strip()
    assert "Traceback" not in result.stderr


@pytest.mark.parametrize("tool", TOOLS)
def test_the_template_run_where_its_inputs_are_missing_fails_and_writes_nothing(tmp_path, tool):
    command = tool.replace("_", "-")
    assert run_program([command, "--generate-config"], cwd=tmp_path).returncode == 0
    # flowpage looks for its renderer before its input.
    renderer = REPO / "build" / "npm" / "node_modules" / ".bin"
    result = run_program([command, "-c", TEMPLATES[tool]], cwd=tmp_path,
                         env_extra={"PATH": f"{renderer}:{os.environ['PATH']}"})
    assert result.returncode == 1, result.stderr
    assert "unknown key" not in result.stderr and "Traceback" not in result.stderr
    assert "not found" in result.stdout + result.stderr
    # Not even an empty output folder is left behind.
    assert [p.name for p in tmp_path.iterdir()] == [TEMPLATES[tool]]
