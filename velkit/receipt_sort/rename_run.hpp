// The rename run and the two functions it is built from.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <stdexcept>

namespace velkit::receipt_sort {

// A configuration whose parts have the wrong kind ("config" not an
// object, a cell reference that is not text, ...).
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the values of `cell_locations` from the active sheet of a workbook;
// a list of None (after an error record) when the workbook cannot be read.
py::list get_excel_cell_value(py::object file_path, py::object cell_locations);

// The text of `name` fit for a file name; "Unknown" for None.
py::str sanitize_filename(py::handle name);

// Moves every workbook of the configured folder to its new name in the
// results folder, or only reports the moves in dry-run mode. Throws
// ConfigError before touching anything when the configuration is unusable.
void run_rename(const py::dict& config_dict);

// get_excel_cell_value, sanitize_filename, process_expense_rename.
void register_run(py::module_& m);

}  // namespace velkit::receipt_sort
