// Opening an input PDF, with failures in plain words, and the mark that
// tells a report of this tool from a user's file.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <stdexcept>
#include <string>

namespace velkit::sheet_tile {

// The producer written into every report; an existing output file without
// it is a user's file and is never replaced when it is also an input.
extern const char* const kReportProducer;

// Why a file cannot be merged, in words for its "Failed NAME: ..." line.
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A PdfReader for `path` with at least one page, decrypted when an empty
// user password opens it. Raises SourceError: "the file is not a PDF file",
// "the file is damaged: REASON", "the file is password-protected (a
// password is needed to open it)", "the file has no pages".
py::object open_source(py::handle path);

// The words for an error raised while a source's pages were placed:
// pypdf's read errors as "the file is damaged: REASON", others as their
// text.
std::string failure_words(py::error_already_set& error);

// Whether `path` is a PDF that this tool wrote (it carries the producer).
bool is_marked_report(py::handle path);

}  // namespace velkit::sheet_tile
