#include "order_match.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "dates.hpp"
#include "state.hpp"
#include "texts.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::order_match {

namespace {

std::string str(py::handle value) { return py::str(value); }

// A section of the configuration that must be a mapping when present.
py::object section(py::handle config, const char* key) {
    py::object value = config.attr("get")(key, py::dict());
    if (!py::isinstance<py::dict>(value)) {
        throw py::type_error(std::string("The \"") + key + "\" section of the configuration must be a JSON object, not " +
                             str(py::type::of(value).attr("__name__")) + ".");
    }
    return value;
}

py::object cell(py::handle mapping, const char* key, const char* fallback) {
    return mapping.attr("get")(key, fallback);
}

bool empty(py::handle frame) { return frame.is_none() || py::bool_(frame.attr("empty")); }

bool has_column(py::handle frame, const char* name) { return py::bool_(frame.attr("columns").attr("__contains__")(name)); }

// The text a whole number stands for ("20240115"), or nothing.
std::optional<std::string> whole_number_text(py::handle value) {
    if (PyBool_Check(value.ptr())) return std::nullopt;
    if (PyLong_Check(value.ptr())) return str(value);
    if (PyFloat_Check(value.ptr())) {
        double number = PyFloat_AS_DOUBLE(value.ptr());
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15) {
            return std::to_string(static_cast<long long>(number));
        }
    }
    return std::nullopt;
}

}  // namespace

OrderMatch::OrderMatch(py::object config) {
    if (!py::isinstance<py::dict>(config)) {
        throw py::type_error("The \"config\" section of the configuration must be a JSON object, not " +
                             str(py::type::of(config).attr("__name__")) + ".");
    }
    system_data_path = config.attr("get")("system_data_path", "");
    customer_data_path = config.attr("get")("customer_data_path", "");
    output_dir = config.attr("get")("output_dir", "out");
    py::object system = section(config, "system_data");
    sys_po_cell = cell(system, "po_cell", "H2");
    sys_so_cell = cell(system, "so_cell", "I2");
    sys_so_pos_cell = cell(system, "so_pos_cell", "J2");
    sys_so_suffix_cell = cell(system, "so_suffix_cell", "K2");
    sys_qty_cell = cell(system, "qty_cell", "L2");
    sys_rdd_cell = cell(system, "rdd_cell", "Q2");
    py::object customer = section(config, "customer_data");
    po_cell = cell(customer, "po_cell", "F3");
    qty_cell = cell(customer, "qty_cell", "O3");
    rdd_cell = cell(customer, "rdd_cell", "R3");
}

py::object normalise_dates(py::handle column, const std::string& side) {
    py::module_& pandas = state().pandas;
    py::object series = py::reinterpret_borrow<py::object>(column);
    if (py::bool_(pandas.attr("api").attr("types").attr("is_datetime64_any_dtype")(series))) {
        return series.attr("dt").attr("strftime")("%Y-%m-%d");
    }
    py::list values = series.attr("tolist")();
    size_t size = values.size();
    py::object nat = pandas.attr("NaT");
    py::object na = pandas.attr("NA");
    py::object date_type = py::module_::import("datetime").attr("date");

    // Texts (and whole numbers such as 20240115) are read in the column's
    // day order; date cells give their day directly.
    std::vector<std::optional<std::string>> texts(size);
    std::vector<std::string> present_texts;
    for (size_t i = 0; i < size; ++i) {
        py::handle value = values[i];
        if (PyUnicode_Check(value.ptr())) {
            texts[i] = value.cast<std::string>();
        } else {
            texts[i] = whole_number_text(value);
        }
        if (texts[i]) present_texts.push_back(*texts[i]);
    }
    DayOrder order = guess_day_order(present_texts);
    py::list normalised(size);
    size_t unreadable = 0;
    for (size_t i = 0; i < size; ++i) {
        py::handle value = values[i];
        normalised[i] = py::none();
        if (texts[i]) {
            std::string_view text = *texts[i];
            if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) continue;
            if (auto date = parse_date_text(text, order)) {
                normalised[i] = py::str(iso_date(*date));
            } else {
                ++unreadable;
            }
        } else if (value.is(nat) || value.is(na) || value.is_none()) {
            continue;
        } else if (py::isinstance(value, date_type)) {
            Date date{value.attr("year").cast<int>(), value.attr("month").cast<int>(), value.attr("day").cast<int>()};
            normalised[i] = py::str(iso_date(date));
        } else if (!(PyFloat_Check(value.ptr()) && std::isnan(PyFloat_AS_DOUBLE(value.ptr())))) {
            ++unreadable;
        }
    }
    if (unreadable > 0) {
        state().log.warning(side + ": " + std::to_string(unreadable) +
                            (unreadable == 1 ? " delivery date is not a date and is left empty."
                                             : " delivery dates are not dates and are left empty."));
    }
    return pandas.attr("Series")(normalised, py::arg("index") = series.attr("index"), py::arg("dtype") = "str");
}

py::tuple OrderMatch::run() {
    const helperlib::Logger& log = state().log;
    log.info("Starting OrderMatch process on system data: " + str(system_data_path));
    if (!helperlib::check_file_exists(system_data_path, {".csv"})) {
        return py::make_tuple(false, "System data file not found at: " + str(system_data_path));
    }
    log.info("Loading System data from: " + str(system_data_path));
    try {
        return process();
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        // The record carries this exception's traceback.
        log.object().attr("exception")("Error during data processing", py::arg("exc_info") = error.value());
        return py::make_tuple(false, str(error.value()));
    } catch (const std::exception& error) {
        log.error(std::string("Error during data processing: ") + error.what());
        return py::make_tuple(false, std::string(error.what()));
    }
}

py::tuple OrderMatch::process() {
    const helperlib::Logger& log = state().log;

    py::dict sys_mapping;
    sys_mapping["PO"] = sys_po_cell;
    sys_mapping["SO"] = sys_so_cell;
    sys_mapping["SO_POS"] = sys_so_pos_cell;
    sys_mapping["SO_SUFFIX"] = sys_so_suffix_cell;
    sys_mapping["QTY"] = sys_qty_cell;
    sys_mapping["RDD"] = sys_rdd_cell;
    system_df = helperlib::read_csv_by_cells(system_data_path, sys_mapping);
    if (has_column(system_df, "RDD")) {
        // The column is replaced, not written into: its type changes.
        system_df.attr("__setitem__")("RDD", normalise_dates(system_df["RDD"], "System data"));
    }
    log.info("Successfully loaded system CSV with " + std::to_string(py::len(system_df)) + " rows.");

    if (!helperlib::check_file_exists(customer_data_path, {".xlsx", ".xls"})) {
        return py::make_tuple(false, "Customer data file not found at: " + str(customer_data_path));
    }
    log.info("Loading customer data from: " + str(customer_data_path));
    py::dict cell_mapping;
    cell_mapping["PO"] = po_cell;
    cell_mapping["QTY"] = qty_cell;
    cell_mapping["RDD"] = rdd_cell;
    customer_df = helperlib::read_excel_by_cells(customer_data_path, cell_mapping);
    if (!empty(customer_df) && has_column(customer_df, "RDD")) {
        customer_df.attr("__setitem__")("RDD", normalise_dates(customer_df["RDD"], "Customer data"));
    }

    py::object environ = py::module_::import("os").attr("environ");
    if (py::str(environ.attr("get")("VELKIT_DEBUG", "")).equal(py::str("1"))) {
        log.debug(py::str("Debug mode is ON. Saving intermediate System & Customer DataFrames..."));
        py::object debug_path = helperlib::get_output_file_path(output_dir, kDebugFileName);
        py::dict debug_sheets;
        debug_sheets["SYS_DATA"] = system_df;
        debug_sheets["CUS_DATA"] = customer_df;
        helperlib::write_formatted_excel(debug_path, debug_sheets);
        log.debug(py::str("✅ Debug files saved to " + str(output_dir)));
    }

    if (empty(system_df) || empty(customer_df)) {
        log.error("System or Customer data is missing/empty. Cannot proceed with matching.");
        return py::make_tuple(false, "Data extraction failed or data is empty.");
    }

    log.info("Matching System and Customer data by PO and QTY...");
    result_df = helperlib::merge_exact_match(system_df, customer_df, {"PO", "QTY"}, "inner", {"_SYS", "_CUST"});
    if (empty(result_df)) {
        log.warning("Merge resulted in an empty dataframe. No matching records found.");
        return py::make_tuple(true, "Process completed, but no matching records found.");
    }

    py::dict renames;
    renames["RDD_SYS"] = "SYSTEM_RDD";
    renames["RDD_CUST"] = "CUSTOMER_RDD";
    result_df = result_df.attr("rename")(py::arg("columns") = renames);
    py::list cols_order;
    for (const char* name : {"PO", "SO", "SO_POS", "SO_SUFFIX", "QTY", "SYSTEM_RDD", "CUSTOMER_RDD"}) {
        if (has_column(result_df, name)) cols_order.append(name);
    }
    result_df = result_df[cols_order];

    result_df = result_df.attr("sort_values")(py::arg("by") = std::vector<std::string>{"PO", "SO_POS", "QTY"});
    py::object result_by_rdd = result_df.attr("sort_values")(py::arg("by") = std::vector<std::string>{"SYSTEM_RDD", "PO"});
    log.info("Matching complete. Found " + std::to_string(py::len(result_df)) + " matched records.");

    py::object summary_df = summary_of(result_df);

    py::object result_path = helperlib::get_output_file_path(output_dir, kResultFileName);
    py::list bypo_config;
    py::dict matched_block;
    matched_block["df"] = result_df;
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
    sheets_data["byRDD_SYS"] = result_by_rdd;
    if (helperlib::write_formatted_excel(result_path, sheets_data)) {
        log.info("✅ Result Excel saved and formatted at: " + str(result_path));
        return py::make_tuple(true, "Processed System & Customer Data and generated Result successfully.");
    }
    return py::make_tuple(false, "Failed to save result excel file.");
}

// The quantities per delivery month of either side: rows "SYS_RDD" and
// "CUS_RDD", one column per month in calendar order. None when it cannot be
// built; the last table completed when relabelling or filling fails.
py::object OrderMatch::summary_of(py::handle matched) const {
    py::module_& pandas = state().pandas;
    py::object summary_df = py::none();
    try {
        py::object quantities = matched["QTY"];
        if (!py::bool_(pandas.attr("api").attr("types").attr("is_numeric_dtype")(quantities)) ||
            py::bool_(pandas.attr("api").attr("types").attr("is_bool_dtype")(quantities))) {
            throw py::type_error("QTY holds values that are not numbers (" + str(quantities.attr("dtype")) + ")");
        }
        auto months_of = [&](const char* column) {
            py::object dates = pandas.attr("to_datetime")(matched[column], py::arg("format") = "%Y-%m-%d",
                                                          py::arg("errors") = "coerce");
            return dates.attr("dt").attr("to_period")("M");
        };
        py::object sys_months = months_of("SYSTEM_RDD");
        py::object cus_months = months_of("CUSTOMER_RDD");
        auto sums_by = [&](py::object months) {
            return quantities.attr("groupby")(months).attr("sum")();
        };
        py::dict sides;
        sides["SYS_RDD"] = sums_by(sys_months);
        sides["CUS_RDD"] = sums_by(cus_months);
        summary_df = pandas.attr("DataFrame")(sides).attr("T").attr("sort_index")(py::arg("axis") = 1);

        py::list labels;
        for (py::handle month : summary_df.attr("columns")) {
            labels.append(month_label(month.attr("year").cast<long long>(), month.attr("month").cast<int>()));
        }
        py::object relabelled = summary_df.attr("copy")();
        relabelled.attr("columns") = labels;
        summary_df = relabelled;

        py::object filled = summary_df.attr("fillna")(0).attr("infer_objects")();
        // Whole quantities stay whole numbers where a month was filled in.
        if (py::bool_(pandas.attr("api").attr("types").attr("is_integer_dtype")(quantities)) &&
            py::len(filled.attr("columns")) > 0) {
            filled = filled.attr("astype")("int64");
        }
        summary_df = filled;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        state().log.warning("Failed to create summary table: " + str(error.value()));
    } catch (const std::exception& error) {
        state().log.warning(std::string("Failed to create summary table: ") + error.what());
    }
    return summary_df;
}

void register_order_match(py::module_& m) {
    py::options options;
    options.disable_function_signatures();
    py::class_<OrderMatch>(m, "OrderMatch",
                           "Matches the system order export (CSV) against the customer order sheet (Excel)\n"
                           "on PO and QTY and writes result.xlsx.")
        .def(py::init<py::object>(), py::arg("config"), kInitDoc)
        .def_readwrite("system_data_path", &OrderMatch::system_data_path)
        .def_readwrite("customer_data_path", &OrderMatch::customer_data_path)
        .def_readwrite("output_dir", &OrderMatch::output_dir)
        .def_readwrite("sys_po_cell", &OrderMatch::sys_po_cell)
        .def_readwrite("sys_so_cell", &OrderMatch::sys_so_cell)
        .def_readwrite("sys_so_pos_cell", &OrderMatch::sys_so_pos_cell)
        .def_readwrite("sys_so_suffix_cell", &OrderMatch::sys_so_suffix_cell)
        .def_readwrite("sys_qty_cell", &OrderMatch::sys_qty_cell)
        .def_readwrite("sys_rdd_cell", &OrderMatch::sys_rdd_cell)
        .def_readwrite("po_cell", &OrderMatch::po_cell)
        .def_readwrite("qty_cell", &OrderMatch::qty_cell)
        .def_readwrite("rdd_cell", &OrderMatch::rdd_cell)
        .def_readwrite("system_df", &OrderMatch::system_df)
        .def_readwrite("customer_df", &OrderMatch::customer_df)
        .def_readwrite("result_df", &OrderMatch::result_df)
        .def("run", &OrderMatch::run,
             "(success, message): load both tables, match them on PO and QTY and\n"
             "write result.xlsx into output_dir.");
}

}  // namespace velkit::order_match
