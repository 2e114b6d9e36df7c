// The one output rule of every tool. A tool replaces an existing file only
// when that file is its own earlier output, recognised by the mark the tool
// writes into it (a PDF's creator or producer, a workbook's creator, the
// site's manifest). Any other existing file is never replaced: the run ends
// with status 1 before any work, naming the file. A run that ends with
// status 1, or has nothing to put into its output, leaves an earlier output
// as it was; only a result that would now be wrong (order-match's pair of
// workbooks) is removed, with an info line naming it.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

namespace velkit::frame {

enum class Existing {
    kNone,   // nothing there: the output may be written
    kOwn,    // the tool's own earlier output: it may be replaced
    kOther,  // anything else (a user's file, a folder, a damaged file): left alone
};

// A PDF whose document information names `mark` as its creator or producer.
Existing existing_pdf_output(py::handle path, const std::string& mark);

// An .xlsx workbook whose document properties name `mark` as its creator.
Existing existing_workbook_output(py::handle path, const std::string& mark);

// "FILE exists and was not written by TOOL; it is left as it is. Choose
// another name for KEY, or move that file away"
std::string not_own_output_text(py::handle path, const std::string& tool, const std::string& key);

}  // namespace velkit::frame
