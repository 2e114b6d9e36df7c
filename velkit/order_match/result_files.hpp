// result.xlsx and unmatched.xlsx belong together: the unmatched list
// explains the result beside it. They are replaced together, so that no
// interruption leaves a new result beside an earlier run's unmatched list,
// and only when they are this tool's own earlier output (frame's output
// rule; the workbooks carry kWorkbookCreator).
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

namespace velkit::order_match {

extern const char* const kWorkbookCreator;

// A problem with the files the run would replace ("" when there is none):
// an existing result.xlsx or unmatched.xlsx that this tool did not write.
std::string result_files_problem(py::handle output_dir);

// Writes the new pair; None for a workbook the run has nothing for (no
// match, nothing unmatched), whose earlier version is then removed. Each
// workbook is first written whole under a temporary name; then the
// earlier unmatched list goes, the result takes its place, and the new
// unmatched list follows. False, after logging why, when a workbook could
// not be written: the earlier pair is then as it was.
bool replace_result_files(py::handle output_dir, py::handle result_sheets, py::handle unmatched_sheets);

// Removes an earlier run's pair, which would now be wrong, with an info
// line naming each file removed.
void remove_earlier_results(py::handle output_dir, const std::string& why);

}  // namespace velkit::order_match
