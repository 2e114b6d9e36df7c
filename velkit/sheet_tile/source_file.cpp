#include "source_file.hpp"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>
#include <cstdio>

#include "velkit/frame/pdf_mark.hpp"

namespace velkit::sheet_tile {

const char* const kReportProducer = "Velkit sheet-tile";

namespace {

// A PDF's header may follow up to 1 KiB of other bytes.
constexpr size_t kHeaderWindow = 1024;

bool has_pdf_header(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw SourceError("the file cannot be read");
    std::string head(kHeaderWindow, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    return head.find("%PDF-") != std::string::npos;
}

std::string reason_of(const std::exception& error) {
    if (auto* qpdf_error = dynamic_cast<const QPDFExc*>(&error)) {
        // The object's description may start with the file's path, which the
        // message names already.
        std::string object = qpdf_error->getObject();
        const std::string& file = qpdf_error->getFilename();
        if (!file.empty() && object.rfind(file + ", ", 0) == 0) object.erase(0, file.size() + 2);
        if (object == file) object.clear();
        std::string reason = qpdf_error->getMessageDetail();
        return object.empty() ? reason : object + ": " + reason;
    }
    std::string reason = error.what();
    return reason.empty() ? "unknown problem" : reason;
}

bool is_password_error(const std::exception& error) {
    auto* qpdf_error = dynamic_cast<const QPDFExc*>(&error);
    return qpdf_error != nullptr && qpdf_error->getErrorCode() == qpdf_e_password;
}

// Each distinct problem qpdf noticed, at most kMostProblems of them.
constexpr size_t kMostProblems = 5;
std::vector<std::string> problems_of(QPDF& pdf) {
    std::vector<std::string> problems;
    for (const QPDFExc& warning : pdf.getWarnings()) {
        std::string problem = reason_of(warning);
        if (std::find(problems.begin(), problems.end(), problem) == problems.end()) problems.push_back(problem);
        if (problems.size() == kMostProblems) break;
    }
    return problems;
}

// qpdf with warnings kept for repair_note, and stream data copied when
// objects are copied, so the source need not stay open. What qpdf noticed
// before it gave up goes into `problems`.
std::unique_ptr<QPDF> read(const std::string& path, const char* password, std::vector<std::string>* problems) {
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->setImmediateCopyFrom(true);
    try {
        pdf->processFile(path.c_str(), password);
    } catch (...) {
        if (problems != nullptr) *problems = problems_of(*pdf);
        throw;
    }
    return pdf;
}

}  // namespace

std::string failure_words(const std::exception& error) {
    if (auto* source_error = dynamic_cast<const SourceError*>(&error)) return source_error->what();
    return "the file is damaged: " + reason_of(error);
}

std::unique_ptr<QPDF> open_source(const std::string& path, const std::optional<std::string>& password) {
    // A text file named .pdf would otherwise fail as a damaged PDF.
    if (!has_pdf_header(path)) throw SourceError("the file is not a PDF file");
    std::unique_ptr<QPDF> pdf;
    std::vector<std::string> problems;
    try {
        try {
            pdf = read(path, password ? password->c_str() : "", &problems);
        } catch (const std::exception& error) {
            // Many "protected" PDFs only restrict printing or copying and
            // open with an empty user password, as in any viewer.
            if (!password || !is_password_error(error)) throw;
            pdf = read(path, "", &problems);
        }
        if (QPDFPageDocumentHelper(*pdf).getAllPages().empty()) throw SourceError("the file has no pages");
    } catch (const SourceError&) {
        throw;
    } catch (const std::exception& error) {
        if (is_password_error(error)) {
            throw SourceError(password ? "the password does not open it"
                                       : "the file is password-protected (a password is needed to open it)");
        }
        throw SourceError("the file is damaged: " + reason_of(error), problems);
    }
    return pdf;
}

std::optional<std::string> repair_note(QPDF& pdf) {
    std::vector<QPDFExc> warnings = pdf.getWarnings();
    if (warnings.empty()) return std::nullopt;
    std::string note = "the file is damaged and was repaired: " + reason_of(warnings.front());
    if (warnings.size() > 1) {
        note += " (and " + std::to_string(warnings.size() - 1) + " more problem" + (warnings.size() > 2 ? "s" : "") +
                ")";
    }
    return note;
}

bool is_marked_report(const std::string& path) {
    try {
        return has_pdf_header(path) && frame::pdf_carries_mark(path, kReportProducer);
    } catch (const SourceError&) {
        return false;  // unreadable
    }
}

}  // namespace velkit::sheet_tile
