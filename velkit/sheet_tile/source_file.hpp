// Opening an input PDF with qpdf, with failures in plain words, and the mark
// that tells a report of this tool from a user's file.
#pragma once
#include <qpdf/QPDF.hh>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkit::sheet_tile {

// The producer written into every report; an existing output file without
// it is a user's file and is never replaced when it is also an input.
extern const char* const kReportProducer;

// Why a file cannot be merged, in words for its "Failed NAME: ..." line,
// with what qpdf noticed on the way (each once, for warnings naming the
// file).
class SourceError : public std::runtime_error {
public:
    explicit SourceError(const std::string& words, std::vector<std::string> problems = {})
        : std::runtime_error(words), problems_(std::move(problems)) {}
    const std::vector<std::string>& problems() const { return problems_; }

private:
    std::vector<std::string> problems_;
};

// The source's document, read (and repaired where qpdf can) with warnings
// collected rather than printed. `password` is tried first when given; a
// file that also opens without one opens. Throws SourceError: "the file is
// not a PDF file", "the file is damaged: REASON", "the file is
// password-protected (a password is needed to open it)", "the password does
// not open it", "the file has no pages". `path` is the file system's bytes.
std::unique_ptr<QPDF> open_source(const std::string& path, const std::optional<std::string>& password);

// The words for an error raised by qpdf while a source's pages were
// placed: "the file is damaged: REASON".
std::string failure_words(const std::exception& error);

// What qpdf had to repair in `pdf` since the last call, as one plain line
// ("the file is damaged and was repaired: REASON (and N more problems)"),
// or nothing when it read cleanly. Clears qpdf's list.
std::optional<std::string> repair_note(QPDF& pdf);

// Whether `path` is a PDF that this tool wrote (it carries the producer).
bool is_marked_report(const std::string& path);

}  // namespace velkit::sheet_tile
