// The merged report as a qpdf document, and the Python object (the worker's
// `writer`) that serialises it.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <qpdf/QPDF.hh>

#include <functional>
#include <memory>
#include <string>

namespace velkit::sheet_tile {

class ReportWriter {
public:
    // An empty document carrying the report's producer mark.
    ReportWriter();

    QPDF& pdf() { return *pdf_; }
    long page_count() const;

    // The whole document as PDF bytes (see pdf_output.hpp).
    std::string bytes(std::function<void(int)> percent_done = {});

private:
    std::shared_ptr<QPDF> pdf_;
};

// `ReportWriter` for Python: `pages` (a list as long as the report has
// pages) and `write(stream)`, which writes the PDF into a binary stream and
// tells the step that runs (saving the report) how far it is.
void register_report_writer(py::module_& m);

}  // namespace velkit::sheet_tile
