#include "options.hpp"


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
    return options;
}

}  // namespace velkit::order_match
