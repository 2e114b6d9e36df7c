"""The order-match command and its run: messages, statuses, the result workbook."""
import datetime
import json
import shutil

import openpyxl
import pytest

from conftest import REPO, run_program
from velkit import order_match

TEMPLATE = "config_order_match_template.json"
CELLS = {
    "system_data": {"po_cell": "A2", "so_cell": "B2", "so_pos_cell": "C2", "so_suffix_cell": "D2",
                    "qty_cell": "E2", "rdd_cell": "F2"},
    "customer_data": {"po_cell": "B3", "qty_cell": "C3", "rdd_cell": "D3"},
}


def system_csv(path, lines):
    """lines: (PO, SO, SO_POS, SO_SUFFIX, QTY, RDD) below one header row."""
    text = "PO,SO,SO_POS,SO_SUFFIX,QTY,RDD\n" + "".join(",".join(map(str, line)) + "\n" for line in lines)
    path.write_text(text, encoding="utf-8")
    return path


def customer_xlsx(path, lines):
    """lines: (PO, QTY, RDD) in columns B to D from row 3, a title and a header above."""
    book = openpyxl.Workbook()
    ws = book.active
    ws["A1"] = "Customer orders"
    ws["B2"], ws["C2"], ws["D2"] = "PO", "Quantity", "Need date"
    for row, values in enumerate(lines, start=3):
        for column, value in enumerate(values, start=2):
            ws.cell(row=row, column=column, value=value)
    book.save(path)
    return path


def config_file(tmp_path, system, customer, **extra):
    config = {"system_data_path": str(system), "customer_data_path": str(customer),
              "output_dir": str(tmp_path / "out"), **CELLS, **extra}
    path = tmp_path / "config.json"
    path.write_text(json.dumps({"config": config}), encoding="utf-8")
    return path


@pytest.fixture
def pair(tmp_path):
    """A typical pair: one match per PO, an unparsable date, a month on one side only."""
    system = system_csv(tmp_path / "sys.csv", [
        ("0045001234", 7001, 10, "A", 10, "2024-01-15"),
        ("0045001235", 7002, 10, "", 5, "not a date"),
        ("0045001236", 7003, 10, "", 3, "2024-03-01"),
        ("0045001237", 7004, 10, "", 9, "2024-03-02"),
    ])
    customer = customer_xlsx(tmp_path / "cus.xlsx", [
        ("0045001234", 10.0, "2024-02-10"),
        ("0045001235", 5, "2024-01-20"),
        ("0045001236", 3, "2024-03-05"),
        ("0045001237", 8, "2024-03-02"),
    ])
    return system, customer


def day(year, month, date):
    return datetime.datetime(year, month, date)


def invoke(runner, config):
    return runner.invoke(order_match.cmd_order_match, ["-c", str(config)])


class TestCommand:
    @pytest.mark.parametrize("extra", [[], ["--config", "x.json"]], ids=["alone", "with-config"])
    def test_generate_config_writes_the_template(self, runner, tmp_path, monkeypatch, extra):
        monkeypatch.chdir(tmp_path)
        (tmp_path / "x.json").write_text("not JSON")
        result = runner.invoke(order_match.cmd_order_match, ["--generate-config", *extra])
        assert result.exit_code == 0
        written = tmp_path / TEMPLATE
        assert result.output == f"Template created: {written}\n"
        template = json.loads(written.read_text(encoding="utf-8"))
        assert list(template) == ["config"]
        assert list(template["config"]) == ["system_data_path", "customer_data_path", "output_dir", "system_data",
                                            "customer_data"]
        assert template["config"]["output_dir"] == "./data_order_match/out"
        assert template["config"]["system_data"]["rdd_cell"] == "Q2"
        assert template["config"]["customer_data"] == {"po_cell": "F3", "qty_cell": "O3", "rdd_cell": "R3"}

    def test_texts_and_names(self, runner):
        command = order_match.cmd_order_match
        assert command.name == "order-match" and command.help == "Order Match: Data processing and SOP generator."
        assert command.callback.__doc__ == "Order Match CLI Entry Point"
        assert [(p.name, p.help) for p in command.params] == [
            ("config", "Path to JSON config file"), ("generate_config", "Generate config_order_match_template.json")]
        assert order_match.OrderMatch.__init__.__doc__ == "\n        config: dict，從 json 讀入的設定\n        "
        assert not hasattr(order_match, "DEFAULT_CONFIG")

    def test_no_option_is_an_error(self, runner):
        result = runner.invoke(order_match.cmd_order_match, [])
        assert result.exit_code == 1
        assert result.output == "Error: Please provide a JSON config file using -c.\n"

    def test_configuration_without_config_key_fails(self, runner, tmp_path):
        path = tmp_path / "c.json"
        path.write_text('{"other": 1}')
        result = invoke(runner, path)
        assert result.exit_code == 1 and result.stdout == ""
        assert "lacks the required key 'config'" in result.stderr

    def test_missing_system_path_fails_with_status_1(self, runner, tmp_path):
        path = tmp_path / "c.json"
        path.write_text('{"config": {}}')
        result = invoke(runner, path)
        assert result.exit_code == 1
        assert result.stdout == "Failed: System data file not found at: \n"

    def test_customer_file_must_be_a_workbook(self, runner, tmp_path, pair):
        system, _ = pair
        result = invoke(runner, config_file(tmp_path, system, tmp_path / "cus.csv"))
        assert result.stdout == f"Failed: Customer data file not found at: {tmp_path / 'cus.csv'}\n"

    def test_a_section_that_is_not_an_object_is_named(self, runner, tmp_path):
        path = tmp_path / "c.json"
        path.write_text('{"config": {"system_data": null}}')
        result = run_program(["order-match", "-c", str(path)], cwd=tmp_path)
        assert result.returncode == 1
        assert f"Invalid configuration in {path}: 'config.system_data' must be an object." in result.stderr


def test_fields_take_their_defaults():
    worker = order_match.OrderMatch({"system_data_path": "s.csv", "customer_data_path": "c.xlsx"})
    cells = [worker.sys_po_cell, worker.sys_so_cell, worker.sys_so_pos_cell, worker.sys_so_suffix_cell,
             worker.sys_qty_cell, worker.sys_rdd_cell, worker.po_cell, worker.qty_cell, worker.rdd_cell]
    assert cells == ["H2", "I2", "J2", "K2", "L2", "Q2", "F3", "O3", "R3"]
    assert (worker.system_data_path, worker.output_dir) == ("s.csv", "out")
    assert worker.system_df is None and worker.customer_df is None and worker.result_df is None
    with pytest.raises(ValueError, match="'config.output_dir' must be a non-empty text"):
        order_match.OrderMatch({"output_dir": 5})


class TestRun:
    def test_result_workbook_sheets_orders_and_summary(self, runner, tmp_path, pair):
        result = invoke(runner, config_file(tmp_path, *pair))
        assert result.exit_code == 0
        assert result.stdout == "Success: Processed System & Customer Data and generated Result successfully.\n"
        book = openpyxl.load_workbook(tmp_path / "out" / "result.xlsx")
        assert book.sheetnames == ["byPO", "byRDD_SYS"]
        rows = list(book["byPO"].values)
        assert rows[0][:7] == ("PO", "SO", "SO_POS", "SO_SUFFIX", "QTY", "SYSTEM_RDD", "CUSTOMER_RDD")
        # Leading zeros kept, 10 matched 10.0, the unparsable date is empty;
        # 0045001237 differs in quantity and appears nowhere.
        assert [r[:7] for r in rows[1:4]] == [
            ("0045001234", 7001, 10, "A", 10, day(2024, 1, 15), day(2024, 2, 10)),
            ("0045001235", 7002, 10, None, 5, None, day(2024, 1, 20)),
            ("0045001236", 7003, 10, None, 3, day(2024, 3, 1), day(2024, 3, 5)),
        ]
        assert len(rows) == 4
        # The summary starts two columns after the table (column J).
        assert rows[0][7:] == (None, None, None, "24-Jan", "24-Feb", "24-Mar")
        assert rows[1][9:] == ("SYS_RDD", 10, 0, 3)
        assert rows[2][9:] == ("CUS_RDD", 5, 10, 3)
        by_rdd = [r[0] for r in list(book["byRDD_SYS"].values)[1:]]
        assert by_rdd == ["0045001234", "0045001236", "0045001235"]

    def test_two_system_lines_and_one_customer_line_give_two_matches(self, runner, tmp_path):
        system = system_csv(tmp_path / "s.csv", [("P1", 1, 20, "", 4, "2024-05-01"), ("P1", 1, 10, "", 4, "2024-05-02")])
        customer = customer_xlsx(tmp_path / "c.xlsx", [("P1", 4, "2024-05-03")])
        assert invoke(runner, config_file(tmp_path, system, customer)).exit_code == 0
        rows = list(openpyxl.load_workbook(tmp_path / "out" / "result.xlsx")["byPO"].values)
        assert [r[2] for r in rows[1:]] == [10, 20]
        # The one customer line counts once.
        assert rows[1][9:] == ("SYS_RDD", 8) and rows[2][9:] == ("CUS_RDD", 4)

    def test_no_match_succeeds_without_a_workbook(self, runner, tmp_path):
        system = system_csv(tmp_path / "s.csv", [("P1", 1, 10, "", 4, "2024-05-01")])
        customer = customer_xlsx(tmp_path / "c.xlsx", [("P1", 5, "2024-05-01"), ("P2", 4, "2024-05-01")])
        result = invoke(runner, config_file(tmp_path, system, customer))
        assert result.stdout == "Success: Process completed, but no matching records found.\n"
        assert "Merge resulted in an empty dataframe. No matching records found." in result.stderr
        assert not (tmp_path / "out" / "result.xlsx").exists()

    def test_without_any_date_the_sheet_holds_the_table_alone(self, runner, tmp_path):
        system = system_csv(tmp_path / "s.csv", [("P1", 1, 10, "", 4, "soon")])
        customer = customer_xlsx(tmp_path / "c.xlsx", [("P1", 4, None)])
        assert invoke(runner, config_file(tmp_path, system, customer)).exit_code == 0
        sheet = openpyxl.load_workbook(tmp_path / "out" / "result.xlsx")["byPO"]
        assert sheet.max_column == 7

    @pytest.mark.parametrize("value, written", [("1", True), ("true", False), ("", False)])
    def test_debug_workbook_only_for_1(self, runner, tmp_path, pair, monkeypatch, value, written):
        monkeypatch.setenv("VELKIT_DEBUG", value)
        assert invoke(runner, config_file(tmp_path, *pair)).exit_code == 0
        debug = tmp_path / "out" / "debug_data.xlsx"
        assert debug.exists() is written
        if written:
            book = openpyxl.load_workbook(debug)
            assert book.sheetnames == ["SYS_DATA", "CUS_DATA"]
            assert [c.value for c in book["SYS_DATA"][1]] == ["PO", "SO", "SO_POS", "SO_SUFFIX", "QTY", "RDD"]
            assert book["SYS_DATA"]["F3"].value is None  # "not a date"

    def test_empty_customer_sheet_fails_after_the_debug_workbook(self, runner, tmp_path, pair, monkeypatch):
        monkeypatch.setenv("VELKIT_DEBUG", "1")
        customer = customer_xlsx(tmp_path / "empty.xlsx", [])
        result = invoke(runner, config_file(tmp_path, pair[0], customer))
        assert result.exit_code == 1
        assert result.stdout == "Failed: Data extraction failed or data is empty.\n"
        assert "Customer data: no data rows below row 2 in sheet 'Sheet' of empty.xlsx." in result.stderr
        assert "System or Customer data is missing/empty. Cannot proceed with matching." in result.stderr
        assert list(openpyxl.load_workbook(tmp_path / "out" / "debug_data.xlsx")["CUS_DATA"].values) == [
            ("PO", "QTY", "RDD")]

    def test_unwritable_result_is_a_failure(self, runner, tmp_path, pair):
        (tmp_path / "out" / "result.xlsx").mkdir(parents=True)
        result = invoke(runner, config_file(tmp_path, *pair))
        assert result.stdout == "Failed: Failed to save result excel file.\n"

    def test_reader_error_names_the_file(self, runner, tmp_path, pair):
        bad = tmp_path / "fake.xlsx"
        bad.write_text("PO,QTY\n", encoding="utf-8")
        result = invoke(runner, config_file(tmp_path, pair[0], bad))
        assert result.exit_code == 1
        assert result.stdout.startswith(f"Failed: Cannot read the workbook '{bad}': ")
        assert "ERROR OrderMatch: Error during data processing\n" in result.stderr

    def test_text_quantities_give_no_summary(self, runner, tmp_path):
        system = system_csv(tmp_path / "s.csv", [("P1", 1, 10, "", "4 pcs", "2024-05-01")])
        customer = customer_xlsx(tmp_path / "c.xlsx", [("P1", "4 pcs", "2024-05-01")])
        result = invoke(runner, config_file(tmp_path, system, customer))
        assert result.stdout.startswith("Success: Processed")
        assert "quantities that are not numbers are left out of the summary: row 2 '4 pcs'." in result.stderr
        assert openpyxl.load_workbook(tmp_path / "out" / "result.xlsx")["byPO"].max_column == 7


def test_demo_pair(tmp_path):
    shutil.copytree(REPO / "examples" / "order_match", tmp_path / "examples" / "order_match")
    result = run_program(["order-match", "-c", "examples/order_match/config.json"], cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "Success: Processed System & Customer Data and generated Result successfully.\n"
    book = openpyxl.load_workbook(tmp_path / "order_match_out" / "result.xlsx")
    assert book.sheetnames == ["byPO", "byRDD_SYS"]
    ws = book["byPO"]
    assert ws["A2"].value == "0045001234" and ws["E2"].value == 10
    assert ws.max_row == 7  # six matches: 0045001242 (12 against 10) and the one-sided POs are left out
    assert [c.value for c in ws[1]][9:] == [None, "24-Jan", "24-Feb", "24-Mar", "24-May"]
    assert [c.value for c in ws[2]][9:] == ["SYS_RDD", 14, 31, 6, 0]
    assert [c.value for c in ws[3]][9:] == ["CUS_RDD", 10, 43, 0, 6]
    # The line whose system date is "TBD" sorts last by system date.
    last = list(book["byRDD_SYS"].values)[-1]
    assert last[0] == "0045001241" and last[5] is None
