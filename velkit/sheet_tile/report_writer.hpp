// The merged report as a qpdf document, and the Python object (the worker's
// `writer`) that serialises it.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <qpdf/QPDF.hh>

#include <memory>
#include <string>

namespace velkit::sheet_tile {

class ReportWriter {
public:
    // An empty document carrying the report's producer mark.
    ReportWriter();

    QPDF& pdf() { return *pdf_; }
    long page_count() const;

    // The whole document as PDF bytes: streams compressed, small objects
    // packed into object streams.
    std::string bytes();

private:
    std::shared_ptr<QPDF> pdf_;
};

// `ReportWriter` for Python: `pages` (a list as long as the report has
// pages) and `write(stream)`, which writes the PDF into a binary stream.
void register_report_writer(py::module_& m);

}  // namespace velkit::sheet_tile
