#include "xlsx_book.hpp"

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <locale.h>
#include <unistd.h>

#include "file_error.hpp"
#include "safe_files.hpp"

namespace velutil {

namespace {

void check(lxw_error error, const char* what) {
    if (error != LXW_NO_ERROR) throw WorkbookError(std::string(what) + ": " + lxw_strerror(error));
}

using Formats = CellFormats<lxw_format*>;

class XlsxSheet : public SheetSink {
public:
    XlsxSheet(lxw_worksheet* sheet, const Formats& formats) : sheet_(sheet), formats_(formats) {}

    void header(int column, std::string_view text) override {
        if (text.empty()) {
            check(worksheet_write_blank(sheet_, 0, to_column(column), formats_.bold), "cannot write a header");
        } else {
            text_.assign(literal_sheet_text(text, escaped_));
            check(worksheet_write_string(sheet_, 0, to_column(column), text_.c_str(), formats_.bold),
                  "cannot write a header");
        }
    }

    void cell(size_t row, int column, const Cell& cell) override {
        const auto at_row = static_cast<lxw_row_t>(row);
        const auto at_column = to_column(column);
        lxw_error error = LXW_NO_ERROR;
        switch (cell.kind) {
            case CellKind::kBlank:
                return;
            case CellKind::kText:
                text_.assign(literal_sheet_text(cell.text, escaped_));
                error = worksheet_write_string(sheet_, at_row, at_column, text_.c_str(), nullptr);
                break;
            case CellKind::kBool:
                error = worksheet_write_boolean(sheet_, at_row, at_column, cell.number != 0, nullptr);
                break;
            default:
                error = worksheet_write_number(sheet_, at_row, at_column, cell.number, formats_.of(cell.kind));
                break;
        }
        check(error, "cannot write a cell");
    }

    void freeze_header() override { worksheet_freeze_panes(sheet_, 1, 0); }

    void column_width(int column, double width) override {
        check(worksheet_set_column(sheet_, to_column(column), to_column(column), width, nullptr),
              "cannot set a column width");
    }

private:
    static lxw_col_t to_column(int column) { return static_cast<lxw_col_t>(column); }

    lxw_worksheet* sheet_;
    const Formats& formats_;
    std::string text_;  // NUL-terminated copy for the C calls
    std::string escaped_;
};

std::string private_folder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velutil-xlsx-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw FileError(errno, "Cannot create a temporary folder", pattern);
    return pattern;
}

lxw_format* number_format(lxw_workbook* book, CellKind kind) {
    lxw_format* format = workbook_add_format(book);
    format_set_num_format(format, number_format_of(kind));
    return format;
}

// libxlsxwriter prints its numbers with printf, which follows LC_NUMERIC:
// under a comma-decimal locale 2.5 would become "2,5" and the workbook
// unreadable. The "C" locale holds for this thread while the book lives.
class ClassicNumbers {
public:
    ClassicNumbers() : classic_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr))) {
        if (classic_ != static_cast<locale_t>(nullptr)) previous_ = uselocale(classic_);
    }
    ~ClassicNumbers() {
        if (classic_ == static_cast<locale_t>(nullptr)) return;
        uselocale(previous_);
        freelocale(classic_);
    }
    ClassicNumbers(const ClassicNumbers&) = delete;
    ClassicNumbers& operator=(const ClassicNumbers&) = delete;

private:
    locale_t classic_;
    locale_t previous_ = static_cast<locale_t>(nullptr);
};

}  // namespace

struct XlsxBook::Parts {
    ClassicNumbers numbers;
    std::string folder;
    std::string file;
    lxw_workbook* book = nullptr;
    std::string creator;  // the library keeps the pointer until the book closes
    Formats formats;
    std::vector<std::unique_ptr<XlsxSheet>> sheets;

    ~Parts() {
        if (book != nullptr) lxw_workbook_free(book);
        if (!file.empty()) ::unlink(file.c_str());
        // The writer's own temporary files are gone once the book is freed.
        if (!folder.empty()) ::rmdir(folder.c_str());
    }
};

XlsxBook::XlsxBook() : parts_(std::make_unique<Parts>()) {
    parts_->folder = private_folder();
    parts_->file = parts_->folder + "/book.xlsx";
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = parts_->folder.data();
    parts_->book = workbook_new_opt(parts_->file.c_str(), &options);
    if (parts_->book == nullptr) throw WorkbookError("cannot start a workbook (out of memory)");
    Formats& formats = parts_->formats;
    formats.bold = workbook_add_format(parts_->book);
    format_set_bold(formats.bold);
    format_set_bottom(formats.bold, LXW_BORDER_THIN);
    formats.date = number_format(parts_->book, CellKind::kDate);
    formats.datetime = number_format(parts_->book, CellKind::kDateTime);
    formats.time = number_format(parts_->book, CellKind::kTime);
}

XlsxBook::~XlsxBook() = default;

SheetSink& XlsxBook::add_sheet(const std::string& name) {
    lxw_worksheet* sheet = workbook_add_worksheet(parts_->book, name.c_str());
    if (sheet == nullptr) throw WorkbookError("cannot add the sheet '" + name + "'");
    parts_->sheets.push_back(std::make_unique<XlsxSheet>(sheet, parts_->formats));
    return *parts_->sheets.back();
}

void XlsxBook::set_creator(const std::string& creator) {
    parts_->creator = creator;
    lxw_doc_properties properties{};
    properties.author = parts_->creator.data();
    check(workbook_set_properties(parts_->book, &properties), "cannot set the workbook's creator");
}

std::string XlsxBook::finish() {
    lxw_workbook* book = parts_->book;
    parts_->book = nullptr;  // closing frees it, whatever the outcome
    check(workbook_close(book), "cannot complete the workbook");
    return read_file(parts_->file);
}

}  // namespace velutil
