"""The order-match command and its run: messages, statuses, the result workbook."""
import datetime
import json
import os
import shutil

import openpyxl
import pytest

from binary_workbooks import write_ods, write_xls, write_xlsb
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
    def test_the_template_keys(self, runner, tmp_path, monkeypatch):
        monkeypatch.chdir(tmp_path)
        assert runner.invoke(order_match.cmd_order_match, ["--generate-config"]).exit_code == 0
        written = tmp_path / TEMPLATE
        template = json.loads(written.read_text(encoding="utf-8"))
        assert list(template) == ["config"]
        assert list(template["config"]) == ["system_data_path", "customer_data_path", "output_dir", "system_data",
                                            "customer_data"]
        assert template["config"]["output_dir"] == "./data_order_match/out"
        assert template["config"]["system_data"]["rdd_cell"] == "Q2"
        assert template["config"]["customer_data"] == {"po_cell": "F3", "qty_cell": "O3", "rdd_cell": "R3"}

    def test_worker_documentation(self):
        assert order_match.OrderMatch.__init__.__doc__ == "\n        config: dict，從 json 讀入的設定\n        "

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
        # Not this tool's output: refused before any work, and left as it is.
        assert result.stdout.startswith(f"Failed: {tmp_path / 'out' / 'result.xlsx'} exists and was not written by "
                                        "order-match; it is left as it is.")
        assert (tmp_path / "out" / "result.xlsx").is_dir()

    def test_reader_error_names_the_file(self, runner, tmp_path, pair):
        bad = tmp_path / "fake.xlsx"
        bad.write_text("PO,QTY\n", encoding="utf-8")
        result = invoke(runner, config_file(tmp_path, pair[0], bad))
        assert result.exit_code == 1
        assert result.stdout.startswith(f"Failed: Cannot read the workbook '{bad}': ")
        # One line, without a traceback unless VELKIT_DEBUG=1 asks for it.
        assert f"ERROR OrderMatch: Error during data processing: Cannot read the workbook '{bad}': " in result.stderr
        assert "Traceback" not in result.stderr

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


def run_config(tmp_path, config_text):
    path = tmp_path / "run.json"
    path.write_bytes(config_text if isinstance(config_text, bytes) else config_text.encode("utf-8"))
    return run_program(["order-match", "-c", str(path)], cwd=tmp_path)


def settings(tmp_path, system, customer, output=None):
    return json.dumps({"config": {"system_data_path": str(system), "customer_data_path": str(customer),
                                  "output_dir": str(output or tmp_path / "out"), **CELLS}})


class TestOutcomes:
    """Each class of outcome through the program: status, result line and closing summary."""

    @pytest.mark.parametrize("case, status, line", [
        ("clean", 0, "INFO OrderMatch: Matched 3 lines of the system export with 3 lines of the customer sheet "
                     "(3 pairs); unmatched: 0 of 3 lines in sys.csv, 0 of 3 lines in cus.xlsx"),
        ("partial", 0, "unmatched: 1 of 4 lines in sys.csv, 1 of 4 lines in cus.xlsx"),
        ("no match", 0, "Matched 0 lines of the system export with 0 lines of the customer sheet (0 pairs)"),
        ("header only", 1, "ERROR OrderMatch: System data: no data rows below row 1 in sys.csv."),
        ("missing input", 1, "Failed: Customer data file not found at: "),
        ("unwritable output", 1, "exists and was not written by order-match; it is left as it is."),
    ])
    def test_runs(self, tmp_path, pair, case, status, line):
        system, customer = pair
        lines = [("0045001234", 1, 10, "", 10, "2024-01-15"), ("0045001235", 1, 10, "", 5, "2024-01-16"),
                 ("0045001236", 1, 10, "", 3, "2024-03-01")]
        if case in ("clean", "unwritable output"):
            system_csv(system, lines)
            customer_xlsx(customer, [(po, qty, rdd) for po, _, _, _, qty, rdd in lines])
        elif case == "no match":
            customer_xlsx(customer, [("X1", 1, None)])
        elif case == "header only":
            system_csv(system, [])
        elif case == "missing input":
            customer = tmp_path / "gone.xlsx"
        output = tmp_path / "out"
        if case == "unwritable output":
            (output / "result.xlsx").mkdir(parents=True)
        result = run_config(tmp_path, settings(tmp_path, system, customer, output))
        assert result.returncode == status, result.stderr
        assert line in result.stdout + result.stderr
        assert "Traceback" not in result.stderr

    @pytest.mark.parametrize("text, message", [
        ('{"config": null}', "'config' must be an object"),
        ('{"config": []}', "'config' must be an object"),
        ('{"config": {"customer_data": {"qty_cell": "O0"}}}',
         "'config.customer_data.qty_cell' must be a cell reference such as \"H2\" (got 'O0')"),
        ("{}", "config"),
        ("[]", ""),
        ("", ""),
        (b'{"config": "\xff"}', ""),
    ], ids=["null", "array", "bad cell", "no config", "not an object", "empty file", "not UTF-8"])
    def test_unusable_configuration(self, tmp_path, text, message):
        result = run_config(tmp_path, text)
        assert result.returncode == 1
        assert result.stdout == "" and message in result.stderr
        assert "Traceback" not in result.stderr

    def test_a_file_name_that_is_not_utf8(self, tmp_path, pair):
        system, customer = pair
        odd = tmp_path / os.fsdecode(b"bad\xffname.csv")
        os.rename(system, odd)
        result = run_config(tmp_path, settings(tmp_path, odd, customer))
        assert result.returncode == 0, result.stderr
        assert result.stdout.startswith("Success: ")
        assert "in bad\\xffname.csv" in result.stderr and "Traceback" not in result.stderr

    @pytest.mark.parametrize("extension", [".xls", ".xlsb", ".ods", ".ods locked"])
    def test_a_workbook_name_that_is_not_utf8(self, tmp_path, pair, extension):
        """Workbooks of every kind are opened by the bytes of their name; a
        failure shows the name with its odd bytes escaped, and the reason."""
        from binary_workbooks import write_ods_sheets

        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 10, "2024-01-15")])
        cells = {(1, 1): "PO", (1, 2): "QTY", (1, 3): "RDD", (2, 1): "P1", (2, 2): 10, (2, 3): "2024-02-01"}
        kind = extension.split()[0]
        customer = tmp_path / os.fsdecode(b"cus\xff" + kind.encode())
        if kind == ".xls":
            write_xls(customer, [("Orders", cells)])
        elif kind == ".xlsb":
            write_xlsb(customer, cells)
        elif extension == ".ods":
            write_ods(customer, [[], ["", "PO", "QTY", "RDD"], ["", "P1", 10, "2024-02-01"]])
        else:
            write_ods_sheets(customer, [("Orders", "")], encrypted=True)
        result = run_config(tmp_path, settings(tmp_path, system, customer))
        assert "Traceback" not in result.stderr
        if extension.endswith("locked"):
            assert result.returncode == 1
            shown = os.fsencode(customer).decode("utf-8", "backslashreplace")
            assert result.stdout == f"Failed: Cannot read the workbook '{shown}': Workbook is password protected\n"
        else:
            assert result.returncode == 0, result.stderr
            assert result.stdout.startswith("Success: Processed")
            assert f"(1 pair); unmatched: 0 of 1 line in sys.csv, 0 of 1 line in cus\\xff{kind}\n" in result.stderr


def read_sheet(path, name):
    return list(openpyxl.load_workbook(path)[name].values)


class TestUnmatchedLines:
    def test_every_line_without_a_partner_is_listed_with_its_reason(self, tmp_path):
        system = system_csv(tmp_path / "sys.csv", [
            ("P1", 1, 10, "", 10, "2024-01-15"),      # matches
            ("P2", 2, 10, "", 7, "2024-01-15"),       # the customer orders 12
            ("P3", 3, 10, "", 4, "05.03.2024"),       # PO not at the customer
            ("", 4, 10, "", 4, "2024-01-15"),         # no PO
            ("P5", 5, 10, "", "4 pcs", "2024-01-15"),
            ("P6", 6, 10, "", "#N/A", "2024-01-15"),
        ])
        customer = customer_xlsx(tmp_path / "cus.xlsx", [
            ("P1", 10, "2024-01-20"), ("P2", 12, None), ("P9", 1, None), ("P6", "#N/A", None), ("P5", None, None),
        ])
        result = run_config(tmp_path, settings(tmp_path, system, customer))
        assert result.returncode == 0, result.stderr
        assert "System data (sys.csv): error values never match: E7 #N/A." in result.stderr
        assert "Customer data (cus.xlsx): error values never match: C6 #N/A." in result.stderr
        assert "unmatched: 5 of 6 lines in sys.csv, 4 of 5 lines in cus.xlsx" in result.stderr
        book = tmp_path / "out" / "unmatched.xlsx"
        assert openpyxl.load_workbook(book).sheetnames == ["SYS_ONLY", "CUS_ONLY"]
        system_only = read_sheet(book, "SYS_ONLY")
        assert system_only[0] == ("ROW", "PO", "SO", "SO_POS", "SO_SUFFIX", "QTY", "RDD", "REASON")
        assert [(r[0], r[1], r[-1]) for r in system_only[1:]] == [
            (3, "P2", "PO found, quantity differs (customer: 12)"),
            (4, "P3", "PO not in the customer sheet"),
            (5, None, "PO or quantity missing"),
            (6, "P5", "quantity is not a number: '4 pcs'"),
            (7, "P6", "quantity is an error value: #N/A"),
        ]
        assert system_only[2][6] == datetime.datetime(2024, 3, 5)  # a date cell, read day first
        assert [(r[0], r[1], r[-1]) for r in read_sheet(book, "CUS_ONLY")[1:]] == [
            (4, "P2", "PO found, quantity differs (system: 7)"),
            (5, "P9", "PO not in the system export"),
            (6, "P6", "quantity is an error value: #N/A"),
            (7, "P5", "PO or quantity missing"),
        ]

    def test_written_when_nothing_matched_and_removed_when_all_matched(self, tmp_path):
        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 10, "2024-01-15")])
        customer = customer_xlsx(tmp_path / "cus.xlsx", [("P1", 11, None)])
        config = settings(tmp_path, system, customer)
        assert run_config(tmp_path, config).stdout == "Success: Process completed, but no matching records found.\n"
        book = tmp_path / "out" / "unmatched.xlsx"
        assert len(read_sheet(book, "SYS_ONLY")) == 2 and len(read_sheet(book, "CUS_ONLY")) == 2
        customer_xlsx(customer, [("P1", 10, None)])
        assert run_config(tmp_path, config).returncode == 0
        assert not book.exists()


@pytest.mark.parametrize("system_lines, customer_lines, sums", [
    ([("P1", 1, 10, "", 25, "2024-04-02"), ("P1", 1, 10, "", 25, "2024-04-02")], [("P1", 25, "2024-04-10")],
     ((50,), (25,))),
    ([("P1", 1, 10, "", 10, "2024-04-02")], [("P1", 10, "2024-04-10"), ("P1", 10, "2024-05-10")],
     ((10, 0), (10, 10))),
], ids=["duplicate export line", "split delivery"])
def test_summary_counts_each_line_once(tmp_path, system_lines, customer_lines, sums):
    system = system_csv(tmp_path / "sys.csv", system_lines)
    customer = customer_xlsx(tmp_path / "cus.xlsx", customer_lines)
    assert run_config(tmp_path, settings(tmp_path, system, customer)).returncode == 0
    rows = read_sheet(tmp_path / "out" / "result.xlsx", "byPO")
    assert len(rows) == 3  # both pairs are listed
    assert rows[1][9:] == ("SYS_RDD", *sums[0]) and rows[2][9:] == ("CUS_RDD", *sums[1])


class TestReading:
    def test_a_german_export(self, tmp_path):
        """Windows-1252, "sep=;", decimal commas, points for thousands, a 20-digit PO."""
        text = ("sep=;\nPO;SO;SO_POS;SO_SUFFIX;QTY;RDD\n"
                "Müller-1;1;10;;1.000;15.01.2024\n"
                "Müller-2;2;10;;1.000,5;16.01.2024\n"
                "12345678901234567890;3;10;;2,5;17.01.2024\n")
        system = tmp_path / "sys.csv"
        system.write_bytes(text.encode("cp1252"))
        customer = customer_xlsx(tmp_path / "cus.xlsx", [
            ("Müller-1", 1000, None), ("Müller-2", 1000.5, None), ("12345678901234567890", 2.5, None)])
        result = run_config(tmp_path, settings(tmp_path, system, customer))
        assert result.returncode == 0, result.stderr
        assert "System data (sys.csv): the file is not UTF-8 text; it is read as Windows-1252." in result.stderr
        rows = read_sheet(tmp_path / "out" / "result.xlsx", "byPO")
        assert [(r[0], r[4], r[5]) for r in rows[1:]] == [
            ("12345678901234567890", 2.5, datetime.datetime(2024, 1, 17)),
            ("Müller-1", 1000, datetime.datetime(2024, 1, 15)),
            ("Müller-2", 1000.5, datetime.datetime(2024, 1, 16)),
        ]

    def test_dates_day_first_ambiguous_serial_and_not_dates(self, tmp_path):
        system = system_csv(tmp_path / "sys.csv", [
            ("P1", 1, 10, "", 1, "05/03/2024"), ("P2", 2, 10, "", 2, "13/03/2024"), ("P3", 3, 10, "", 3, "45356"),
            ("P4", 4, 10, "", 4, "TBD"),
        ])
        customer = customer_xlsx(tmp_path / "cus.xlsx", [
            ("P1", 1, "05/03/2024"), ("P2", 2, "04/04/2024"), ("P3", 3, 45356), ("P4", 4, "soon")])
        result = run_config(tmp_path, settings(tmp_path, system, customer))
        assert result.returncode == 0, result.stderr
        assert ("Customer data (cus.xlsx): the delivery dates in column D could be day first or month first "
                "(such as '05/03/2024'); they are read month first.") in result.stderr
        assert "System data (sys.csv): 1 delivery date is not a date and is left empty: row 5 'TBD'." in result.stderr
        assert "Customer data (cus.xlsx): 1 delivery date is not a date and is left empty: row 6 'soon'." in result.stderr
        dates = [(r[0], r[5], r[6]) for r in read_sheet(tmp_path / "out" / "result.xlsx", "byPO")[1:]]
        assert dates == [
            ("P1", datetime.datetime(2024, 3, 5), datetime.datetime(2024, 5, 3)),
            ("P2", datetime.datetime(2024, 3, 13), datetime.datetime(2024, 4, 4)),
            ("P3", datetime.datetime(2024, 3, 5), datetime.datetime(2024, 3, 5)),
            ("P4", None, None),
        ]

    @pytest.mark.parametrize("extension", [".xlsm", ".ods", ".xls", ".xlsb"])
    def test_other_workbook_kinds(self, tmp_path, pair, extension):
        system = system_csv(tmp_path / "sys.csv", [("P1", 1, 10, "", 10, "2024-01-15")])
        customer = tmp_path / f"cus{extension}"
        rows = [["Title"], ["", "PO", "QTY", "RDD"], ["", "P1", 10, "2024-02-01"]]
        cells = {(r, c): v for r, row in enumerate(rows) for c, v in enumerate(row) if v != ""}
        if extension == ".ods":
            write_ods(customer, rows)
        elif extension == ".xls":
            write_xls(customer, [("Orders", cells)])
        elif extension == ".xlsb":
            write_xlsb(customer, cells)
        else:
            customer_xlsx(customer, [("P1", 10, "2024-02-01")])
        result = run_config(tmp_path, settings(tmp_path, system, customer))
        assert result.returncode == 0, result.stderr
        assert result.stdout.startswith("Success: Processed")

    @pytest.mark.parametrize("extension", [".ods", ".xls", ".xlsb"])
    def test_a_stray_far_cell_in_a_workbook_read_whole_is_refused(self, tmp_path, pair, extension):
        customer = tmp_path / f"far{extension}"
        cells = {(2, 1): "P1", (2, 2): 10, (2, 3): "2024-02-01"}
        if extension == ".ods":
            far = ('<table:table-row table:number-rows-repeated="99997"><table:table-cell/></table:table-row>'
                   '<table:table-row><table:table-cell table:number-columns-repeated="16383"/>'
                   '<table:table-cell office:value-type="string"><text:p>x</text:p></table:table-cell>'
                   '</table:table-row>')
            write_ods(customer, [[], [], ["", "P1", 10, "2024-02-01"]], tail=far)
        elif extension == ".xls":
            write_xls(customer, [("Orders", {**cells, (65535, 255): "x"})])
        else:
            write_xlsb(customer, {**cells, (1048575, 16383): "x"})
        result = run_config(tmp_path, settings(tmp_path, pair[0], customer))
        assert result.returncode == 1
        assert result.stdout.startswith(f"Failed: Cannot read the workbook '{customer}': ")
        assert len(result.stdout.strip().splitlines()) == 1
        assert "its sheet 'Orders' spans B3:" in result.stdout
        assert not (tmp_path / "out" / "result.xlsx").exists()

    def test_data_on_a_sheet_that_is_not_read_is_named(self, tmp_path, pair):
        book = openpyxl.Workbook()
        book.active.title = "Cover"
        book.create_sheet("Orders")["B3"] = "P1"
        book.save(tmp_path / "cus.xlsx")
        result = run_config(tmp_path, settings(tmp_path, pair[0], tmp_path / "cus.xlsx"))
        assert result.returncode == 1
        assert "Customer data: no data rows below row 2 in sheet 'Cover' of cus.xlsx." in result.stderr
