// Reading single cells from the active sheet of a workbook.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>
#include <vector>

namespace velkit::receipt_sort {

struct CellValues {
    py::list values;                  // one per reference, None for an empty cell
    std::vector<std::string> errors;  // per reference: the error value ("#N/A") or ""
    std::string sheet;                // the title of the sheet read
    std::vector<bool> unsaved_formulas;  // per reference: None because a formula's result was not saved
};

// Raises what the reader raises for a workbook it cannot read, and
// ValueError when the active sheet is a chart or the workbook is saved as
// Strict Open XML.
CellValues read_cells(py::handle file_path, const py::list& references);

// Why the workbook could not be read, in words a user can act on: a
// password-protected workbook is called so; otherwise the error's text.
std::string read_failure_reason(py::handle file_path, const py::error_already_set& error);

// The values of `cell_locations` on the workbook's active sheet; a list of
// None after an error record ("Error reading excel ...") when it cannot be
// read. Error cells give their text ("#N/A").
py::list get_excel_cell_value(py::object file_path, py::object cell_locations);

}  // namespace velkit::receipt_sort
