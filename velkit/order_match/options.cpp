#include "options.hpp"

#include <vector>

#include "text_kit.hpp"


namespace velkit::order_match {

namespace {

py::object input_path(const frame::ConfigSection& config, const char* key) {
    py::object value = config.raw(key);
    if (!config.has(key) || (py::isinstance<py::str>(value) && py::len(value) == 0)) return py::str("");
    return config.path(key, "");
}

std::string cell(const frame::ConfigSection& section, const char* key, const char* fallback) {
    return section.cell(key, fallback, "H2");
}

// One of `choices` (compared without regard to case), as written there.
std::string choice(const frame::ConfigSection& section, const char* key, const std::vector<std::string>& choices,
                   const std::string& must_be) {
    py::object value = section.raw(key);
    if (py::isinstance<py::str>(value)) {
        std::string text = value.cast<std::string>();
        for (const auto& candidate : choices) {
            if (velutil::equal_ignoring_ascii_case(text, candidate)) return candidate;
        }
    }
    section.fail(key, must_be);
}

std::optional<DayOrder> date_order(const frame::ConfigSection& section) {
    if (!section.has("date_order")) return std::nullopt;
    std::string order = choice(section, "date_order", {"DMY", "MDY", "YMD"}, "\"DMY\", \"MDY\" or \"YMD\"");
    return order == "DMY" ? DayOrder::kDayFirst : order == "MDY" ? DayOrder::kMonthFirst : DayOrder::kYearFirst;
}

void read_csv_settings(const frame::ConfigSection& system, py::dict& settings) {
    if (system.has("delimiter")) {
        py::object value = system.raw("delimiter");
        std::string text = py::isinstance<py::str>(value) ? value.cast<std::string>() : std::string();
        if (text == "\\t") text = "\t";
        if (text.size() != 1 || text == "\"" || text == "\n" || text == "\r") {
            system.fail("delimiter", "one character such as \";\" (not a quote or a line break)");
        }
        settings["delimiter"] = text;
    }
    if (system.has("encoding")) {
        std::string name = choice(system, "encoding", {"utf-8", "utf-16", "cp1252", "windows-1252"},
                                  "\"utf-8\", \"utf-16\" or \"cp1252\" (\"windows-1252\")");
        settings["encoding"] = name;
    }
    if (system.has("decimal")) settings["decimal"] = choice(system, "decimal", {",", "."}, "\",\" or \".\"");
}

void read_sheet_setting(const frame::ConfigSection& customer, py::dict& settings) {
    if (!customer.has("sheet")) return;
    py::object value = customer.raw("sheet");
    if (py::isinstance<py::str>(value) && py::len(value) > 0) {
        settings["sheet_name"] = value;
        return;
    }
    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value)) {
        customer.fail("sheet", "a sheet name or a sheet number counting from 1");
    }
    // Counted from 1 as people count sheets; the reader counts from 0.
    settings["sheet_name"] = customer.whole("sheet", 1, 1, 1 << 16) - 1;
}

}  // namespace

Options parse_options(const frame::ConfigSection& config) {
    Options options;
    options.system_data_path = input_path(config, "system_data_path");
    options.customer_data_path = input_path(config, "customer_data_path");
    options.output_dir = config.path("output_dir", "out");
    frame::ConfigSection system = config.section("system_data");
    options.sys_po_cell = cell(system, "po_cell", "H2");
    options.sys_so_cell = cell(system, "so_cell", "I2");
    options.sys_so_pos_cell = cell(system, "so_pos_cell", "J2");
    options.sys_so_suffix_cell = cell(system, "so_suffix_cell", "K2");
    options.sys_qty_cell = cell(system, "qty_cell", "L2");
    options.sys_rdd_cell = cell(system, "rdd_cell", "Q2");
    frame::ConfigSection customer = config.section("customer_data");
    options.po_cell = cell(customer, "po_cell", "F3");
    options.qty_cell = cell(customer, "qty_cell", "O3");
    options.rdd_cell = cell(customer, "rdd_cell", "R3");
    read_csv_settings(system, options.csv_settings);
    read_sheet_setting(customer, options.sheet_settings);
    options.sys_date_order = date_order(system);
    options.customer_date_order = date_order(customer);
    options.qty_tolerance = config.number("qty_tolerance", 0, 0);
    if (config.has("pairing")) {
        options.one_to_one = choice(config, "pairing", {"all", "one_to_one"}, "\"all\" or \"one_to_one\"") == "one_to_one";
    }
    return options;
}

}  // namespace velkit::order_match
