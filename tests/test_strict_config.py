"""Every tool: a key nothing reads is warned about with the key it most
likely meant, and a switch is true or false, never a guess."""
import json

import pytest

from conftest import make_workbook, run_program

# tool -> (configuration with one misspelt key, the line expected)
MISSPELT = {
    "picbook": (
        {"config": {"image_folder": "in"}, "main_page": {"title_of_report": "T"},
         "groups": [{"name": "g", "pattern": "x", "col_per_row": 2}]},
        "unknown key 'col_per_row' in 'groups[0]'; did you mean 'cols_per_row'?",
    ),
    "sheet-tile": (
        {"config": {"input_folder": "in", "output_file": "out/m.pdf", "layout": {"colz": 2}}},
        "unknown key 'colz' in 'config.layout'; did you mean 'cols'?",
    ),
    "flowpage": (
        {"config": {"input_folder": "in", "output_folder": "out", "index_titel": "X"}},
        "unknown key 'index_titel' in 'config'; did you mean 'index_title'?",
    ),
    "order-match": (
        {"config": {"system_data_path": "s.csv", "customer_data_path": "c.xlsx", "output_dir": "out",
                    "customer_data": {"qty_cel": "O3"}}},
        "unknown key 'qty_cel' in 'config.customer_data'; did you mean 'qty_cell'?",
    ),
    "receipt-sort": (
        {"config": {"path": "in", "dryrun": True}},
        "unknown key 'dryrun' in 'config'; did you mean 'dry_run'?",
    ),
}


@pytest.mark.parametrize("tool", MISSPELT)
def test_a_misspelt_key_is_warned_with_the_key_meant(tmp_path, tool):
    config, expected = MISSPELT[tool]
    (tmp_path / "in").mkdir()
    (tmp_path / "c.json").write_text(json.dumps(config))
    result = run_program([tool, "-c", "c.json"], cwd=tmp_path)
    warnings = [line for line in result.stderr.splitlines() if "unknown key" in line]
    assert len(warnings) == 1 and warnings[0].startswith("WARNING ") and warnings[0].endswith(expected), result.stderr


def test_flowpage_title_maps_take_any_file_name(tmp_path):
    (tmp_path / "in").mkdir()
    (tmp_path / "in" / "a.md").write_text("# A\n")
    config = {"config": {"input_folder": "in", "output_folder": "out",
                         "doc_titles": {"a.md": "Alpha", "missing.md": "M"}, "chart_titles": {"x.mmd": "X"}}}
    (tmp_path / "c.json").write_text(json.dumps(config))
    result = run_program(["flowpage", "-c", "c.json"], cwd=tmp_path)
    assert "unknown key" not in result.stderr, result.stderr


# tool, where the switch goes, its key
SWITCHES = [
    ("sheet-tile", ("config", "layout"), "landscape"),
    ("sheet-tile", ("config",), "debug_grid"),
    ("receipt-sort", ("config",), "dry_run"),
]
REFUSED = {"text-yes": "yes", "one": 1, "zero": 0, "null": None, "text-empty": ""}


def base_config(tool):
    if tool == "sheet-tile":
        return {"config": {"input_folder": "in", "output_file": "out/m.pdf", "layout": {}}}
    return {"config": {"path": "in"}, "excel_in": {"name_cell": "A1", "amount_cell": "B1"}}


def set_switch(config, where, key, value):
    section = config
    for part in where:
        section = section[part]
    section[key] = value
    return config


def make_inputs(tmp_path, tool):
    folder = tmp_path / "in"
    folder.mkdir()
    if tool == "receipt-sort":
        make_workbook(folder / "r.xlsx", {"A1": "Ann", "B1": 12.5})


@pytest.mark.parametrize("value", REFUSED.values(), ids=REFUSED.keys())
@pytest.mark.parametrize("tool,where,key", SWITCHES, ids=[s[2] for s in SWITCHES])
def test_a_switch_that_is_not_true_or_false_is_refused(tmp_path, tool, where, key, value):
    make_inputs(tmp_path, tool)
    before = sorted(p.relative_to(tmp_path) for p in tmp_path.rglob("*"))
    (tmp_path / "c.json").write_text(json.dumps(set_switch(base_config(tool), where, key, value)))
    result = run_program([tool, "-c", "c.json"], cwd=tmp_path)
    assert result.returncode == 1
    assert f".{key}' must be true or false" in result.stderr, result.stderr
    assert sorted(p.relative_to(tmp_path) for p in tmp_path.rglob("*") if p.name != "c.json") == before


def test_sheet_tile_refuses_the_text_false_for_a_switch(tmp_path):
    make_inputs(tmp_path, "sheet-tile")
    config = set_switch(base_config("sheet-tile"), ("config", "layout"), "landscape", "false")
    (tmp_path / "c.json").write_text(json.dumps(config))
    result = run_program(["sheet-tile", "-c", "c.json"], cwd=tmp_path)
    assert result.returncode == 1 and "'config.layout.landscape' must be true or false" in result.stderr


@pytest.mark.parametrize("value,moved", [("FALSE", True), ("false", True), ("True", False), (False, True)],
                         ids=["text-FALSE", "text-false", "text-True", "false"])
def test_receipt_sort_takes_true_and_false_also_as_texts(tmp_path, value, moved):
    make_inputs(tmp_path, "receipt-sort")
    config = set_switch(base_config("receipt-sort"), ("config",), "dry_run", value)
    (tmp_path / "c.json").write_text(json.dumps(config))
    result = run_program(["receipt-sort", "-c", "c.json"], cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "in" / "r.xlsx").exists() != moved


def test_picbook_refuses_two_groups_of_one_name(tmp_path):
    config = {"config": {"image_folder": "in"}, "main_page": {"title_of_report": "T"},
              "groups": [{"name": "Scan", "pattern": "a"}, {"name": "Other", "pattern": "b"},
                         {"name": "Scan", "pattern": "c"}]}
    (tmp_path / "in").mkdir()
    (tmp_path / "c.json").write_text(json.dumps(config))
    result = run_program(["picbook", "-c", "c.json"], cwd=tmp_path)
    assert result.returncode == 1
    assert "'groups[0]' and 'groups[2]' have the same name 'Scan'" in result.stderr
    assert list((tmp_path / "in").iterdir()) == []


def test_a_quoted_value_with_a_line_break_stays_on_one_line(tmp_path):
    config = {"config": {"input_folder": "in", "output_folder": "out", "index_title": "x", "bad\nkey": 1}}
    (tmp_path / "in").mkdir()
    (tmp_path / "c.json").write_text(json.dumps(config))
    result = run_program(["flowpage", "-c", "c.json"], cwd=tmp_path)
    assert "unknown key 'bad\\nkey' in 'config'" in result.stderr
    assert all(line.split(" ", 1)[0] in ("INFO", "WARNING", "ERROR") for line in result.stderr.splitlines())
