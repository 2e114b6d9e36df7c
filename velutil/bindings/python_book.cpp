#include "python_book.hpp"

#include <string>
#include <vector>

namespace velutil::excel_tables {

namespace py = pybind11;

namespace {

py::str utf8_text(std::string_view text) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

using Formats = CellFormats<py::object>;

// XlsxWriter answers a refused cell with a negative number, not an error.
void check(const py::object& answer) {
    if (PyLong_Check(answer.ptr()) && PyLong_AsLong(answer.ptr()) != 0) {
        throw WorkbookError("the workbook writer refused a cell (code " + std::string(py::str(answer)) + ")");
    }
}

class PythonSheet : public SheetSink {
public:
    PythonSheet(py::object sheet, const Formats& formats)
        : sheet_(std::move(sheet)),
          write_number_(sheet_.attr("write_number")),
          write_string_(sheet_.attr("write_string")),
          write_boolean_(sheet_.attr("write_boolean")),
          formats_(formats) {}

    void header(int column, std::string_view text) override {
        if (text.empty()) {
            check(sheet_.attr("write_blank")(0, column, py::none(), formats_.bold));
        } else {
            check(write_string_(0, column, utf8_text(text), formats_.bold));
        }
    }

    void cell(size_t row, int column, const Cell& cell) override {
        switch (cell.kind) {
            case CellKind::kBlank:
                return;
            case CellKind::kText:
                check(write_string_(row, column, utf8_text(cell.text)));
                return;
            case CellKind::kBool:
                check(write_boolean_(row, column, cell.number != 0));
                return;
            case CellKind::kNumber:
                check(write_number_(row, column, cell.number));
                return;
            default:
                check(write_number_(row, column, cell.number, formats_.of(cell.kind)));
                return;
        }
    }

    void freeze_header() override { sheet_.attr("freeze_panes")(1, 0); }

    void column_width(int column, double width) override { sheet_.attr("set_column")(column, column, width); }

private:
    py::object sheet_;
    py::object write_number_;
    py::object write_string_;
    py::object write_boolean_;
    const Formats& formats_;
};

class PythonBook : public BookSink {
public:
    PythonBook() {
        buffer_ = py::module_::import("io").attr("BytesIO")();
        py::dict options;
        options["constant_memory"] = true;
        workbook_ = py::module_::import("xlsxwriter").attr("Workbook")(buffer_, options);
        py::dict bold;
        bold["bold"] = true;
        bold["bottom"] = 1;
        formats_.bold = workbook_.attr("add_format")(bold);
        formats_.date = number_format(CellKind::kDate);
        formats_.datetime = number_format(CellKind::kDateTime);
        formats_.time = number_format(CellKind::kTime);
        formats_.plain = py::none();
    }

    ~PythonBook() override {
        if (workbook_.is_none()) return;
        // Closing removes the writer's temporary files; the bytes are dropped.
        try {
            workbook_.attr("close")();
        } catch (py::error_already_set&) {
        }
    }

    SheetSink& add_sheet(const std::string& name) override {
        sheets_.push_back(std::make_unique<PythonSheet>(workbook_.attr("add_worksheet")(utf8_text(name)), formats_));
        return *sheets_.back();
    }

    void set_creator(const std::string& creator) override {
        py::dict properties;
        properties["author"] = utf8_text(creator);
        workbook_.attr("set_properties")(properties);
    }

    std::string finish() override {
        py::object workbook = std::move(workbook_);
        workbook_ = py::none();
        workbook.attr("close")();
        return buffer_.attr("getvalue")().cast<std::string>();
    }

private:
    py::object number_format(CellKind kind) {
        py::dict style;
        style["num_format"] = number_format_of(kind);
        return workbook_.attr("add_format")(style);
    }

    py::object buffer_;
    py::object workbook_;
    Formats formats_;
    std::vector<std::unique_ptr<PythonSheet>> sheets_;
};

}  // namespace

std::unique_ptr<BookSink> python_book() { return std::make_unique<PythonBook>(); }

}  // namespace velutil::excel_tables
