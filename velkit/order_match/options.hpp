// order-match's settings, read once from the "config" object: the two
// input files, the output folder and the cells where each field's column
// starts.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>
#include <string>

#include "dates.hpp"
#include "velkit/frame/config_values.hpp"

namespace velkit::order_match {

struct Options {
    // Paths stay the str given, so that any file name reaches the file system.
    py::object system_data_path;
    py::object customer_data_path;
    py::object output_dir;
    std::string sys_po_cell;
    std::string sys_so_cell;
    std::string sys_so_pos_cell;
    std::string sys_so_suffix_cell;
    std::string sys_qty_cell;
    std::string sys_rdd_cell;
    std::string po_cell;
    std::string qty_cell;
    std::string rdd_cell;

    // What the data is, when the files do not say it themselves.
    py::dict csv_settings;    // read_csv_by_cells keywords: delimiter, encoding, decimal
    py::dict sheet_settings;  // read_excel_by_cells keywords: sheet_name
    std::optional<DayOrder> sys_date_order;
    std::optional<DayOrder> customer_date_order;
    double qty_tolerance = 0;  // quantities this close match
    bool one_to_one = false;   // each line in one pair at most
};

// Absent keys take their fallbacks; a value that cannot be used raises
// frame::ConfigError naming its key. An empty input path is allowed: the
// run then reports the file as not found.
Options parse_options(const frame::ConfigSection& config);

}  // namespace velkit::order_match
