#include "source_file.hpp"

#include "state.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::sheet_tile {

const char* const kReportProducer = "Velkit sheet-tile";

namespace {

// A PDF's header may follow up to 1 KiB of other bytes.
constexpr long kHeaderWindow = 1024;

bool has_pdf_header(py::handle path) {
    py::object file = py::module_::import("builtins").attr("open")(path, "rb");
    py::bytes head;
    try {
        head = file.attr("read")(kHeaderWindow);
    } catch (...) {
        file.attr("close")();
        throw;
    }
    file.attr("close")();
    return static_cast<std::string>(head).find("%PDF-") != std::string::npos;
}

// The exception's text, or its type's name when it has none.
std::string error_text(py::error_already_set& error) {
    std::string text = frame::shown(error.value());
    if (text.empty() || text == "''") text = py::str(error.type().attr("__name__"));
    return text;
}

bool is_read_error(py::error_already_set& error) {
    return error.matches(py::module_::import("pypdf.errors").attr("PyPdfError"));
}

}  // namespace

std::string failure_words(py::error_already_set& error) {
    if (is_read_error(error)) return "the file is damaged: " + error_text(error);
    return error_text(error);
}

py::object open_source(py::handle path) {
    // A text file named .pdf would otherwise fail as "Stream has ended
    // unexpectedly", like a truncated PDF.
    if (!has_pdf_header(path)) throw SourceError("the file is not a PDF file");
    py::object reader;
    size_t pages = 0;
    try {
        reader = pdf_name("PdfReader")(path);
        if (py::bool_(reader.attr("is_encrypted"))) {
            // Many "protected" PDFs only restrict printing or copying and
            // open with an empty user password, as in any viewer.
            if (reader.attr("decrypt")("").cast<int>() == 0) {
                throw SourceError("the file is password-protected (a password is needed to open it)");
            }
        }
        pages = py::len(reader.attr("pages"));
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        if (error.matches(py::module_::import("pypdf.errors").attr("DependencyError"))) throw;
        throw SourceError("the file is damaged: " + error_text(error));
    }
    if (pages == 0) throw SourceError("the file has no pages");
    return reader;
}

bool is_marked_report(py::handle path) {
    try {
        if (!has_pdf_header(path)) return false;
        py::object reader = pdf_name("PdfReader")(path);
        if (py::bool_(reader.attr("is_encrypted")) && reader.attr("decrypt")("").cast<int>() == 0) return false;
        py::object info = reader.attr("metadata");
        if (info.is_none()) return false;
        py::object producer = info.attr("get")("/Producer");
        return !producer.is_none() && frame::shown(producer) == kReportProducer;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        return false;
    }
}

}  // namespace velkit::sheet_tile
