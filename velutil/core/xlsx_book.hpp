// A workbook written in C by libxlsxwriter, in its constant-memory mode:
// each row goes to a temporary file as soon as the next one starts, so a
// million cells cost no more memory than a few rows.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "sheet_writing.hpp"

namespace velutil {

// Sheets in the order they are added; the sheet names must have passed
// sheet_name_problem. Errors are WorkbookError (or FileError for the
// temporary files).
class XlsxBook : public BookSink {
public:
    XlsxBook();  // in a private folder of the system's temporary folder
    ~XlsxBook() override;
    XlsxBook(const XlsxBook&) = delete;
    XlsxBook& operator=(const XlsxBook&) = delete;

    SheetSink& add_sheet(const std::string& name) override;
    void set_creator(const std::string& creator) override;
    std::string finish() override;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace velutil
