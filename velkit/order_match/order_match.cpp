#include "order_match.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "cell_reference.hpp"
#include "line_values.hpp"
#include "result_files.hpp"
#include "result_tables.hpp"
#include "state.hpp"
#include "texts.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/progress.hpp"
#include "velkit/frame/tried_path.hpp"
#include "velkit/frame/text.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::order_match {

namespace {

bool empty(py::handle frame) { return frame.is_none() || py::bool_(frame.attr("empty")); }

bool has_column(py::handle frame, const char* name) { return py::bool_(frame.attr("columns").attr("__contains__")(name)); }

std::string file_name(py::handle path) {
    return frame::shown(py::module_::import("os").attr("path").attr("basename")(path));
}

bool is_file(py::handle path) { return py::bool_(py::module_::import("os").attr("path").attr("isfile")(path)); }

const std::vector<std::string> kCustomerExtensions = {".xlsx", ".xlsm", ".xlsb", ".xls", ".ods"};

Side side_of(const char* label, const char* other, py::handle path, std::initializer_list<const std::string*> cells,
             const std::string& po_cell, const std::string& qty_cell) {
    Side side;
    side.label = label;
    side.other = other;
    side.file = file_name(path);
    side.first_row = velutil::kMaxRows;
    for (const std::string* cell : cells) {
        side.first_row = std::min(side.first_row, velutil::parse_cell_reference(*cell).row);
    }
    side.po_letters = velutil::column_letters(velutil::parse_cell_reference(po_cell).column);
    side.qty_letters = velutil::column_letters(velutil::parse_cell_reference(qty_cell).column);
    return side;
}

std::string letters_of(const std::string& cell) {
    return velutil::column_letters(velutil::parse_cell_reference(cell).column);
}

// Why a side has no lines: "no data rows below row 2 in sheet 'Orders' of c.xlsx".
std::string why_empty(const Side& side) {
    std::string where = side.sheet.empty() ? side.file : "sheet '" + side.sheet + "' of " + side.file;
    std::string rows = side.first_row > 1 ? "no data rows below row " + std::to_string(side.first_row - 1)
                                          : std::string("no data rows");
    return side.label + ": " + rows + " in " + where + ".";
}

std::vector<long long> rows_in(py::handle pairs, const char* column) {
    return pairs[column].attr("tolist")().cast<std::vector<long long>>();
}

size_t distinct(const std::vector<long long>& rows) {
    std::vector<long long> sorted(rows);
    std::sort(sorted.begin(), sorted.end());
    return static_cast<size_t>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
}

std::string delimiter_name(const std::string& delimiter) { return delimiter == "\t" ? "tabs" : "'" + delimiter + "'"; }

// What the CSV reader decided and noticed, each in one line naming the file.
void report_csv_reading(py::handle attrs, const Side& side, bool encoding_set) {
    const helperlib::Logger& log = state().log;
    std::string encoding = frame::shown(attrs.attr("get")("encoding", ""));
    if (!encoding_set && encoding == "cp1252") {
        log.info(side.named() + ": the file is not UTF-8 text; it is read as Windows-1252.");
    } else if (!encoding_set && encoding == "utf-16") {
        log.info(side.named() + ": the file is UTF-16 text (it starts with a byte-order mark).");
    }
    std::string delimiter = frame::shown(attrs.attr("get")("delimiter", ","));
    std::string from = frame::shown(attrs.attr("get")("delimiter_from", ""));
    std::string why = from == "setting"    ? "as the configuration says"
                      : from == "sep line" ? "as its first line \"sep=\" says"
                                           : "the split most consistent over the first lines";
    log.info(side.named() + ": fields are separated by " + delimiter_name(delimiter) + " (" + why +
             "); the decimal mark is '" + frame::shown(attrs.attr("get")("decimal", ".")) + "'.");
    for (py::handle problem : attrs.attr("get")("problems", py::list())) {
        log.warning(side.named() + ": " + frame::shown(problem) + ".");
    }
}

}  // namespace

std::string counts_text(const LineCounts& counts) {
    auto lines = [](size_t n) { return std::to_string(n) + (n == 1 ? " line" : " lines"); };
    return "Matched " + lines(counts.system_matched) + " of the system export with " + lines(counts.customer_matched) +
           " of the customer sheet (" + std::to_string(counts.pairs) + (counts.pairs == 1 ? " pair" : " pairs") +
           "); unmatched: " + std::to_string(counts.system_lines - counts.system_matched) + " of " +
           lines(counts.system_lines) + " in " + counts.system_file + ", " +
           std::to_string(counts.customer_lines - counts.customer_matched) + " of " + lines(counts.customer_lines) +
           " in " + counts.customer_file;
}

py::tuple OrderMatch::failure(const std::string& message) {
    tally.run_failed();
    return py::make_tuple(false, message);
}

py::tuple OrderMatch::run() {
    py::tuple outcome = checked_run();
    // A failed run's earlier result would be taken for this run's.
    if (!py::bool_(outcome[0]) && stale_results_removable_) {
        remove_earlier_results(options.output_dir, "this run failed, and its matches may no longer hold.");
    }
    return outcome;
}

py::tuple OrderMatch::checked_run() {
    const helperlib::Logger& log = state().log;
    std::string problem = result_files_problem(options.output_dir);
    if (!problem.empty()) return failure(problem);
    stale_results_removable_ = true;
    const py::object& system_path = options.system_data_path;
    log.info("Starting OrderMatch process on system data: " + frame::shown(system_path));
    if (!is_file(system_path)) return failure("System data file not found at: " + frame::shown_tried(system_path));
    if (!helperlib::check_file_exists(system_path, {".csv"})) {
        return failure("System data file is not a CSV file (.csv): " + frame::shown(system_path));
    }
    log.info("Loading System data from: " + frame::shown(system_path));
    try {
        return process();
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        // One line; the traceback only for a developer who asks for it.
        if (frame::debug_requested()) {
            log.object().attr("exception")("Error during data processing", py::arg("exc_info") = error.value());
        } else {
            log.error("Error during data processing: " + frame::shown(error.value()));
        }
        return failure(frame::shown(error.value()));
    } catch (const std::exception& error) {
        log.error(std::string("Error during data processing: ") + error.what());
        return failure(error.what());
    }
}

py::tuple OrderMatch::process() {
    const helperlib::Logger& log = state().log;
    const Options& o = options;

    Side system = side_of("System data", "customer", o.system_data_path,
                          {&o.sys_po_cell, &o.sys_so_cell, &o.sys_so_pos_cell, &o.sys_so_suffix_cell, &o.sys_qty_cell,
                           &o.sys_rdd_cell},
                          o.sys_po_cell, o.sys_qty_cell);
    py::dict sys_mapping;
    sys_mapping["PO"] = o.sys_po_cell;
    sys_mapping["SO"] = o.sys_so_cell;
    sys_mapping["SO_POS"] = o.sys_so_pos_cell;
    sys_mapping["SO_SUFFIX"] = o.sys_so_suffix_cell;
    sys_mapping["QTY"] = o.sys_qty_cell;
    sys_mapping["RDD"] = o.sys_rdd_cell;
    // The steps of the run: two reads, the match and the workbooks.
    frame::ItemProgress steps(4);
    steps.next(system.file);
    {
        frame::ItemScope item(system.file);
        system_df = helperlib::read_csv_by_cells(o.system_data_path, sys_mapping, o.csv_settings);
        report_csv_reading(system_df.attr("attrs"), system, o.csv_settings.contains("encoding"));
        if (has_column(system_df, "RDD")) {
            // The column is replaced, not written into: its type changes.
            system_df.attr("__setitem__")(
                "RDD", normalise_dates(system_df["RDD"], system, letters_of(o.sys_rdd_cell), o.sys_date_order));
        }
    }
    log.info("Successfully loaded system CSV with " + std::to_string(py::len(system_df)) + " rows.");

    const py::object& customer_path = o.customer_data_path;
    if (!is_file(customer_path)) return failure("Customer data file not found at: " + frame::shown_tried(customer_path));
    if (!helperlib::check_file_exists(customer_path, kCustomerExtensions)) {
        return failure("Customer data file is not a workbook (.xlsx, .xlsm, .xlsb, .xls or .ods): " +
                       frame::shown(customer_path));
    }
    log.info("Loading customer data from: " + frame::shown(customer_path));
    Side customer = side_of("Customer data", "system", customer_path, {&o.po_cell, &o.qty_cell, &o.rdd_cell}, o.po_cell,
                            o.qty_cell);
    py::dict cell_mapping;
    cell_mapping["PO"] = o.po_cell;
    cell_mapping["QTY"] = o.qty_cell;
    cell_mapping["RDD"] = o.rdd_cell;
    steps.next(customer.file);
    {
        frame::ItemScope item(customer.file);
        customer_df = helperlib::read_excel_by_cells(customer_path, cell_mapping, o.sheet_settings);
        customer.sheet = frame::shown(customer_df.attr("attrs").attr("get")("sheet", ""));
        if (o.sheet_settings.contains("sheet_name")) log.info(customer.named() + ": reading sheet '" + customer.sheet + "'.");
        if (!empty(customer_df) && has_column(customer_df, "RDD")) {
            customer_df.attr("__setitem__")(
                "RDD", normalise_dates(customer_df["RDD"], customer, letters_of(o.rdd_cell), o.customer_date_order));
        }
    }

    py::object environ = py::module_::import("os").attr("environ");
    if (py::str(environ.attr("get")("VELKIT_DEBUG", "")).equal(py::str("1"))) {
        log.debug(py::str("Debug mode is ON. Saving intermediate System & Customer DataFrames..."));
        py::object debug_path = helperlib::get_output_file_path(o.output_dir, kDebugFileName);
        py::dict debug_sheets;
        debug_sheets["SYS_DATA"] = system_df;
        debug_sheets["CUS_DATA"] = customer_df;
        helperlib::write_formatted_excel(debug_path, debug_sheets);
        log.debug(py::str("✅ Debug files saved to " + frame::shown(o.output_dir)));
    }

    if (empty(system_df) || empty(customer_df)) {
        if (empty(system_df)) log.error(why_empty(system));
        if (empty(customer_df)) log.error(why_empty(customer));
        log.error("System or Customer data is missing/empty. Cannot proceed with matching.");
        return failure("Data extraction failed or data is empty.");
    }

    std::vector<LineValue> system_lines = line_values(system_df);
    std::vector<LineValue> customer_lines = line_values(customer_df);
    warn_about_values(system_lines, system);
    warn_about_values(customer_lines, customer);

    log.info("Matching System and Customer data by PO and QTY...");
    steps.next("matching");
    py::object system_keys = match_table(system_df, system_lines);
    py::object customer_keys = match_table(customer_df, customer_lines);
    py::object pairs = o.qty_tolerance > 0 || o.one_to_one
                           ? paired_lines(system_keys, customer_keys, system_lines, customer_lines, o.qty_tolerance,
                                          o.one_to_one)
                           : helperlib::merge_exact_match(system_keys, customer_keys, {"PO", "QTY"}, "inner",
                                                          {"_SYS", "_CUST"});
    py::dict renames;
    renames["RDD_SYS"] = "SYSTEM_RDD";
    renames["RDD_CUST"] = "CUSTOMER_RDD";
    pairs = pairs.attr("rename")(py::arg("columns") = renames);

    std::vector<long long> system_matched = rows_in(pairs, "_ROW_SYS");
    std::vector<long long> customer_matched = rows_in(pairs, "_ROW_CUST");
    counts = LineCounts{system_matched.size(), distinct(system_matched), distinct(customer_matched),
                        system_lines.size(), customer_lines.size(), system.file, customer.file};
    tally.done(counts->pairs);
    py::object system_only =
        unmatched_lines(system_df, system_keys, system_lines, system_matched, customer_keys, customer_lines, system);
    py::object customer_only =
        unmatched_lines(customer_df, customer_keys, customer_lines, customer_matched, system_keys, system_lines, customer);

    py::list cols_order;
    for (const char* name : {"PO", "SO", "SO_POS", "SO_SUFFIX", "QTY", "SYSTEM_RDD", "CUSTOMER_RDD"}) {
        if (has_column(pairs, name)) cols_order.append(name);
    }
    result_df = pairs[cols_order];
    py::object unmatched_sheets = py::none();
    if (!empty(system_only) || !empty(customer_only)) {
        py::dict sheets;
        sheets["SYS_ONLY"] = with_date_cells(system_only, {"RDD"});
        sheets["CUS_ONLY"] = with_date_cells(customer_only, {"RDD"});
        unmatched_sheets = sheets;
    }
    const py::object& output_dir = o.output_dir;
    helperlib::get_output_file_path(output_dir, kResultFileName);  // creates the folder
    auto log_unmatched_saved = [&]() {
        if (unmatched_sheets.is_none()) return;
        log.info("Unmatched lines saved at: " + frame::shown(helperlib::get_output_file_path(o.output_dir, kUnmatchedFileName)));
    };

    if (empty(result_df)) {
        log.warning("Merge resulted in an empty dataframe. No matching records found.");
        if (!replace_result_files(output_dir, py::none(), unmatched_sheets)) return failure(kUnmatchedSaveFailed);
        log_unmatched_saved();
        return py::make_tuple(true, "Process completed, but no matching records found.");
    }

    result_df = result_df.attr("sort_values")(py::arg("by") = std::vector<std::string>{"PO", "SO_POS", "QTY"});
    py::object result_by_rdd = result_df.attr("sort_values")(py::arg("by") = std::vector<std::string>{"SYSTEM_RDD", "PO"});
    log.info("Matching complete. Found " + std::to_string(py::len(result_df)) + " matched records.");

    py::object summary_df = py::none();
    try {
        summary_df = summary_table(pairs);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        log.warning("Failed to create summary table: " + frame::shown(error.value()));
    } catch (const std::exception& error) {
        log.warning(std::string("Failed to create summary table: ") + error.what());
    }

    const std::vector<std::string> date_columns = {"SYSTEM_RDD", "CUSTOMER_RDD"};
    py::object result_path = helperlib::get_output_file_path(o.output_dir, kResultFileName);
    py::list bypo_config;
    py::dict matched_block;
    matched_block["df"] = with_date_cells(result_df, date_columns);
    matched_block["index"] = false;
    matched_block["startcol"] = 0;
    bypo_config.append(matched_block);
    if (!empty(summary_df)) {
        py::dict summary_block;
        summary_block["df"] = summary_df;
        summary_block["index"] = true;
        summary_block["startcol"] = py::len(result_df.attr("columns")) + 2;
        bypo_config.append(summary_block);
    }
    py::dict sheets_data;
    sheets_data["byPO"] = bypo_config;
    sheets_data["byRDD_SYS"] = with_date_cells(result_by_rdd, date_columns);
    steps.next("writing the workbooks");
    if (!replace_result_files(output_dir, sheets_data, unmatched_sheets)) {
        return failure("Failed to save result excel file.");
    }
    log.info("✅ Result Excel saved and formatted at: " + frame::shown(result_path));
    log_unmatched_saved();
    return py::make_tuple(true, "Processed System & Customer Data and generated Result successfully.");
}

void register_order_match(py::module_& m) {
    py::options options;
    options.disable_function_signatures();
    py::class_<OrderMatch> worker(m, "OrderMatch",
                                  "Matches the system order export (CSV) against the customer order sheet (Excel)\n"
                                  "on PO and QTY and writes result.xlsx.");
    worker.def(py::init([](py::object config) {
                   try {
                       return OrderMatch(parse_options(frame::ConfigSection(config, "config")));
                   } catch (const frame::ConfigError& error) {
                       throw py::value_error(error.what());
                   }
               }),
               py::arg("config"), kInitDoc);
    auto path = [&](const char* name, py::object Options::*field) {
        worker.def_property(
            name, [field](const OrderMatch& self) { return self.options.*field; },
            [field](OrderMatch& self, py::object value) { self.options.*field = std::move(value); });
    };
    path("system_data_path", &Options::system_data_path);
    path("customer_data_path", &Options::customer_data_path);
    path("output_dir", &Options::output_dir);
    auto cell = [&](const char* name, std::string Options::*field) {
        worker.def_property(
            name, [field](const OrderMatch& self) { return self.options.*field; },
            [field](OrderMatch& self, const std::string& value) { self.options.*field = value; });
    };
    cell("sys_po_cell", &Options::sys_po_cell);
    cell("sys_so_cell", &Options::sys_so_cell);
    cell("sys_so_pos_cell", &Options::sys_so_pos_cell);
    cell("sys_so_suffix_cell", &Options::sys_so_suffix_cell);
    cell("sys_qty_cell", &Options::sys_qty_cell);
    cell("sys_rdd_cell", &Options::sys_rdd_cell);
    cell("po_cell", &Options::po_cell);
    cell("qty_cell", &Options::qty_cell);
    cell("rdd_cell", &Options::rdd_cell);
    worker.def_readwrite("system_df", &OrderMatch::system_df)
        .def_readwrite("customer_df", &OrderMatch::customer_df)
        .def_readwrite("result_df", &OrderMatch::result_df)
        .def("run", [](OrderMatch& self) { return self.run(); },
             "(success, message): load both tables, match them on PO and QTY and\n"
             "write result.xlsx (and unmatched.xlsx) into output_dir.");
}

}  // namespace velkit::order_match
