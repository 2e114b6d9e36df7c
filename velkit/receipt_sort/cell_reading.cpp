#include "cell_reading.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "cell_reference.hpp"
#include "state.hpp"
#include "text_kit.hpp"
#include "velkit/frame/text.hpp"
#include "workbook_kind.hpp"

namespace velkit::receipt_sort {

namespace {

// Closes a workbook without letting an error of the close hide the error
// that is already being handled.
void close_quietly(py::handle book) {
    try {
        book.attr("close")();
    } catch (py::error_already_set&) {
    }
}

// What a cell gives: its value, and its error text when it holds an error.
void take_cell(py::handle cell, CellValues& read) {
    py::object value = cell.attr("value");
    bool is_error = py::str(cell.attr("data_type")).equal(py::str("e"));
    read.errors.push_back(is_error ? frame::shown(value) : "");
    read.values.append(value);
}

// Whether a value read without its type may be an error value; only then is
// the cell itself asked, as text such as "#N/A" may also be typed in.
bool looks_like_error(py::handle value) {
    return py::isinstance<py::str>(value) && velutil::is_spreadsheet_error(frame::shown(value));
}

// The values of single cells of a read-only sheet in one pass over the
// rows that hold them: every lookup by reference would parse the sheet
// from its first row again. Nothing when a reference is not a single cell
// or the cells lie too far apart for one rectangle of cells.
std::optional<CellValues> cells_in_one_pass(py::handle sheet, const py::list& references) {
    constexpr long kMostCellsInOnePass = 100000;
    std::vector<velutil::CellReference> positions;
    for (py::handle reference : references) {
        if (!py::isinstance<py::str>(reference)) return std::nullopt;
        try {
            positions.push_back(velutil::parse_cell_reference(frame::shown(reference)));
        } catch (const std::invalid_argument&) {
            return std::nullopt;
        }
    }
    CellValues read;
    if (positions.empty()) return read;
    auto [top, bottom] = std::minmax_element(positions.begin(), positions.end(),
                                             [](auto& a, auto& b) { return a.row < b.row; });
    auto [left, right] = std::minmax_element(positions.begin(), positions.end(),
                                             [](auto& a, auto& b) { return a.column < b.column; });
    long first_row = top->row, first_column = left->column;
    long height = bottom->row - first_row + 1, width = right->column - first_column + 1;
    if (height * width > kMostCellsInOnePass) return std::nullopt;

    // Row i of the iteration is sheet row first_row + i; a sheet that ends
    // earlier yields fewer rows. Values only: cell objects cost more than
    // the parsing.
    std::vector<py::object> rows;
    for (py::handle row : sheet.attr("iter_rows")(py::arg("min_row") = first_row, py::arg("max_row") = bottom->row,
                                                  py::arg("min_col") = first_column + 1,
                                                  py::arg("max_col") = right->column + 1,
                                                  py::arg("values_only") = true)) {
        rows.push_back(py::reinterpret_borrow<py::object>(row));
    }
    for (size_t i = 0; i < positions.size(); ++i) {
        size_t row = static_cast<size_t>(positions[i].row - first_row);
        size_t column = static_cast<size_t>(positions[i].column - first_column);
        py::object value = py::none();
        if (row < rows.size() && column < py::len(rows[row])) value = rows[row][py::int_(column)];
        if (looks_like_error(value)) {
            py::object reference = references[i];
            take_cell(sheet[reference], read);
            continue;
        }
        read.errors.emplace_back();
        read.values.append(value);
    }
    return read;
}

CellValues cells_of_sheet(py::handle sheet, const py::list& references) {
    if (!py::hasattr(sheet, "iter_rows")) {
        std::string title = py::hasattr(sheet, "title") ? frame::shown(sheet.attr("title")) : "";
        std::string message = "the active sheet '" + title + "' is a chart, not a worksheet with cells";
        PyErr_SetString(PyExc_ValueError, message.c_str());
        throw py::error_already_set();
    }
    if (std::optional<CellValues> read = cells_in_one_pass(sheet, references)) return std::move(*read);
    CellValues read;
    for (py::handle reference : references) take_cell(sheet[reference], read);
    return read;
}

// The start of a file, enough to tell its kind.
std::string file_start(py::handle file_path) {
    constexpr std::streamoff kMostBytes = 64 << 20;
    std::ifstream in(frame::fs_path(file_path), std::ios::binary | std::ios::ate);
    if (!in) return "";
    std::streamoff size = std::min<std::streamoff>(in.tellg(), kMostBytes);
    in.seekg(0);
    std::string content(static_cast<size_t>(std::max<std::streamoff>(size, 0)), '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return content;
}

// Whether the workbook part uses the namespaces of Strict Open XML, which
// the reader does not know (it would see no sheets at all).
bool is_strict_workbook(py::handle file_path) {
    try {
        py::object archive = py::module_::import("zipfile").attr("ZipFile")(file_path);
        bool strict = false;
        try {
            py::bytes part = archive.attr("read")("xl/workbook.xml");
            strict = std::string(part).find("http://purl.oclc.org/ooxml/spreadsheetml/main") != std::string::npos;
        } catch (py::error_already_set&) {
        }
        archive.attr("close")();
        return strict;
    } catch (py::error_already_set&) {  // not a zip archive: the reader says what it is
        return false;
    }
}

// For the empty cells: whether a formula stands there whose result the
// program that wrote the workbook did not save.
void find_unsaved_formulas(py::handle file_path, const py::list& references, CellValues& read) {
    read.unsaved_formulas.assign(references.size(), false);
    bool any_empty = false;
    for (py::handle value : read.values) any_empty = any_empty || value.is_none();
    if (!any_empty) return;
    py::object book = state().load_workbook(file_path, py::arg("data_only") = false, py::arg("read_only") = true);
    try {
        py::object sheet = book.attr("active");
        for (size_t i = 0; i < references.size(); ++i) {
            if (!read.values[i].is_none() || !py::isinstance<py::str>(references[i])) continue;
            py::object value = sheet[references[i]].attr("value");
            read.unsaved_formulas[i] = py::isinstance<py::str>(value) && frame::shown(value).rfind("=", 0) == 0;
        }
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
    }
    close_quietly(book);
}

}  // namespace

CellValues read_cells(py::handle file_path, const py::list& references) {
    if (is_strict_workbook(file_path)) {
        PyErr_SetString(PyExc_ValueError,
                        "the workbook is saved as Strict Open XML, which cannot be read; save it as an ordinary "
                        "Excel workbook (.xlsx) to have it sorted");
        throw py::error_already_set();
    }
    py::object book = state().load_workbook(file_path, py::arg("data_only") = true, py::arg("read_only") = true);
    CellValues read;
    try {
        py::object sheet = book.attr("active");
        read = cells_of_sheet(sheet, references);
        if (py::hasattr(sheet, "title")) read.sheet = frame::shown(sheet.attr("title"));
    } catch (...) {
        close_quietly(book);
        throw;
    }
    // Read-only workbooks keep their file open until closed.
    book.attr("close")();
    find_unsaved_formulas(file_path, references, read);
    return read;
}

std::string read_failure_reason(py::handle file_path, const py::error_already_set& error) {
    std::string reason;
    try {
        reason = workbook_kind_reason(workbook_kind(file_start(file_path)));
    } catch (const std::exception&) {  // an unreadable file keeps the reader's word
    }
    return reason.empty() ? frame::shown(error.value()) : reason;
}

py::list get_excel_cell_value(py::object file_path, py::object cell_locations) {
    py::list references(cell_locations);
    try {
        return read_cells(file_path, references).values;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        state().log.error("Error reading excel " + frame::shown(file_path) + ": " +
                          read_failure_reason(file_path, error));
        py::list nothing;
        for (size_t i = 0; i < references.size(); ++i) nothing.append(py::none());
        return nothing;
    }
}

}  // namespace velkit::receipt_sort
