#include "report_writer.hpp"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include "pdf_output.hpp"
#include "source_file.hpp"
#include "velkit/frame/progress.hpp"

namespace velkit::sheet_tile {

ReportWriter::ReportWriter() : pdf_(std::make_shared<QPDF>()) {
    pdf_->emptyPDF();
    pdf_->setSuppressWarnings(true);
    QPDFObjectHandle info = pdf_->makeIndirectObject(QPDFObjectHandle::newDictionary());
    info.replaceKey("/Producer", QPDFObjectHandle::newUnicodeString(kReportProducer));
    pdf_->getTrailer().replaceKey("/Info", info);
}

long ReportWriter::page_count() const {
    return static_cast<long>(QPDFPageDocumentHelper(*pdf_).getAllPages().size());
}

std::string ReportWriter::bytes(std::function<void(int)> percent_done) {
    return pdf_output(*pdf_, std::move(percent_done));
}

void register_report_writer(py::module_& m) {
    py::class_<ReportWriter, std::shared_ptr<ReportWriter>>(m, "ReportWriter",
                                                            "The merged report, written by write(stream).")
        .def(py::init<>())
        .def_property_readonly("pages",
                               [](const ReportWriter& writer) {
                                   py::list pages;
                                   for (long i = 0; i < writer.page_count(); ++i) pages.append(i);
                                   return pages;
                               })
        .def("write", [](ReportWriter& writer, py::object stream) {
            std::string data =
                writer.bytes([](int percent) { frame::current_progress().step_share(percent / 100.0); });
            stream.attr("write")(py::bytes(data));
        });
}

}  // namespace velkit::sheet_tile
