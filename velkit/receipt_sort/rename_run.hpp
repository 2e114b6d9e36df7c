// The rename run and the name function it is built from.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "rename_options.hpp"
#include "velkit/frame/run_tally.hpp"

namespace velkit::receipt_sort {

// The text of `name` fit to be part of a file name; "Unknown" for None.
// Floats are shown with at most 15 significant digits.
py::str sanitize_filename(py::handle name);

// Moves every workbook of the configured folder to its new name in the
// results folder, or only reports the moves in dry-run mode, and logs the
// closing summary. What it did is in the tally.
frame::RunTally run_rename(const RenameOptions& options);

// get_excel_cell_value, sanitize_filename, process_expense_rename.
void register_run(py::module_& m);

}  // namespace velkit::receipt_sort
