#include "pdf_output.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>

namespace velkit::sheet_tile {

std::string pdf_output(QPDF& pdf, std::function<void(int)> percent_done) {
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setObjectStreamMode(qpdf_o_generate);
    writer.setCompressStreams(true);
    writer.setMinimumPDFVersion("1.7");
    if (percent_done) {
        writer.registerProgressReporter(
            std::make_shared<QPDFWriter::FunctionProgressReporter>(std::move(percent_done)));
    }
    writer.write();
    std::unique_ptr<Buffer> buffer(writer.getBuffer());
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

}  // namespace velkit::sheet_tile
