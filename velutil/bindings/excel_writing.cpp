// velutil.excelTools, writing: formatted workbooks, written atomically.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cell_reference.hpp"
#include "cell_values.hpp"
#include "csv_fields.hpp"
#include "file_error.hpp"
#include "pyfs.hpp"
#include "safe_files.hpp"
#include "excel_tables.hpp"
#include "py_messages.hpp"

namespace velutil::excel_tables {

using py_fs::to_fs;
using py_messages::quoted;
using py_messages::raise_value_error;
using py_messages::text_of;
using py_messages::velutil_logger;

namespace {

constexpr size_t kMaxCellText = 32767;
constexpr double kMaxExactInteger = 1e15;  // beyond this Excel shows rounded digits
constexpr size_t kMaxColumnWidth = 60;

struct Block {
    py::object frame;
    bool index = false;
    int startcol = 0;
};

enum class CellKind { kBlank, kNumber, kText, kBool, kDate, kDateTime, kTime };

struct Writer {
    py::object sheet;
    py::object write_number;
    py::object write_string;
    py::object write_boolean;
    py::object write_datetime;
    py::object formats_date;
    py::object formats_datetime;
    py::object formats_time;
    Missing missing;
    py::object date_type;
    py::object time_type;
};

struct Column {
    py::object header;
    py::list values;
    int sheet_column = 0;
};

// The kind of one value and the width it needs.
CellKind kind_of(py::handle value, const Writer& writer, size_t& width, std::string& text) {
    PyObject* object = value.ptr();
    if (object == Py_None || value.is(writer.missing.na) || value.is(writer.missing.nat)) return CellKind::kBlank;
    if (PyBool_Check(object)) {
        width = 5;
        return CellKind::kBool;
    }
    if (PyLong_Check(object)) {
        int overflow = 0;
        long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
        text = text_of(value);
        width = text.size();
        if (overflow != 0 || std::fabs(static_cast<double>(number)) >= kMaxExactInteger) return CellKind::kText;
        return CellKind::kNumber;
    }
    if (PyFloat_Check(object)) {
        double number = PyFloat_AS_DOUBLE(object);
        if (std::isnan(number)) return CellKind::kBlank;
        if (std::isinf(number)) {
            text = number > 0 ? "inf" : "-inf";
            width = text.size();
            return CellKind::kText;
        }
        width = std::min<size_t>(velutil::number_key(number).size(), 11);
        return CellKind::kNumber;
    }
    if (PyUnicode_Check(object)) {
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(object, &size);
        if (data == nullptr) throw py::error_already_set();
        if (size == 0) return CellKind::kBlank;
        if (PyUnicode_GET_LENGTH(object) > static_cast<Py_ssize_t>(kMaxCellText)) {
            raise_value_error("a text of " + std::to_string(PyUnicode_GET_LENGTH(object)) +
                              " characters is longer than a cell can hold (32767)");
        }
        width = velutil::display_width(std::string_view(data, static_cast<size_t>(size)));
        return CellKind::kText;
    }
    if (py::isinstance(value, writer.missing.datetime_type)) {
        bool midnight = value.attr("hour").cast<int>() == 0 && value.attr("minute").cast<int>() == 0 &&
                        value.attr("second").cast<int>() == 0 && value.attr("microsecond").cast<int>() == 0;
        width = midnight ? 10 : 19;
        return midnight ? CellKind::kDate : CellKind::kDateTime;
    }
    if (py::isinstance(value, writer.date_type)) {
        width = 10;
        return CellKind::kDate;
    }
    if (py::isinstance(value, writer.time_type)) {
        width = 8;
        return CellKind::kTime;
    }
    if (py::bool_(writer.missing.isna(value))) return CellKind::kBlank;
    text = text_of(value);
    if (text.size() > kMaxCellText) raise_value_error("a text is longer than a cell can hold (32767 characters)");
    width = velutil::display_width(text);
    return CellKind::kText;
}

void write_cell(const Writer& writer, int row, int column, py::handle value) {
    size_t width = 0;
    std::string text;
    switch (kind_of(value, writer, width, text)) {
        case CellKind::kBlank:
            return;
        case CellKind::kNumber:
            writer.write_number(row, column, value);
            return;
        case CellKind::kText:
            if (text.empty()) {
                writer.write_string(row, column, value);
            } else {
                writer.write_string(row, column, text);
            }
            return;
        case CellKind::kBool:
            writer.write_boolean(row, column, value);
            return;
        case CellKind::kDate:
            writer.write_datetime(row, column, value, writer.formats_date);
            return;
        case CellKind::kDateTime:
            writer.write_datetime(row, column, value, writer.formats_datetime);
            return;
        case CellKind::kTime:
            writer.write_datetime(row, column, value, writer.formats_time);
            return;
    }
}

std::vector<Block> blocks_of(py::handle content, const std::string& sheet) {
    py::object frame_type = py::module_::import("pandas").attr("DataFrame");
    std::vector<Block> blocks;
    if (py::isinstance(content, frame_type)) {
        blocks.push_back({py::reinterpret_borrow<py::object>(content), false, 0});
        return blocks;
    }
    if (!py::isinstance<py::list>(content) && !py::isinstance<py::tuple>(content)) {
        raise_value_error("sheet '" + sheet + "' must be given a DataFrame or a list of blocks");
    }
    for (py::handle item : content) {
        if (!py::isinstance<py::dict>(item) || !item.contains("df") || !py::isinstance(item["df"], frame_type)) {
            raise_value_error("every block of sheet '" + sheet + "' must be a dict with a DataFrame under \"df\"");
        }
        Block block{item["df"].cast<py::object>(), false, 0};
        if (item.contains("index")) block.index = py::bool_(item["index"]);
        if (item.contains("startcol")) block.startcol = item["startcol"].cast<int>();
        if (block.startcol < 0) raise_value_error("a block of sheet '" + sheet + "' starts before the first column");
        blocks.push_back(block);
    }
    return blocks;
}

// The columns of a sheet, each at its place; refuses blocks that overlap.
std::vector<Column> columns_of(const std::vector<Block>& blocks, const std::string& sheet, size_t& rows) {
    std::vector<Column> columns;
    std::vector<std::pair<int, int>> spans;
    rows = 0;
    for (const auto& block : blocks) {
        int column = block.startcol;
        if (block.index) {
            py::object index = block.frame.attr("index");
            py::object name = index.attr("name");
            columns.push_back({name.is_none() ? py::object(py::str("")) : name, index.attr("tolist")(), column++});
        }
        for (py::handle label : block.frame.attr("columns")) {
            columns.push_back({py::reinterpret_borrow<py::object>(label),
                               block.frame[label].attr("tolist")(), column++});
        }
        for (const auto& [first, end] : spans) {
            if (block.startcol < end && first < column) {
                raise_value_error("two blocks of sheet '" + sheet + "' overlap at column " +
                                  std::to_string(std::max(first, block.startcol)));
            }
        }
        spans.emplace_back(block.startcol, column);
        rows = std::max(rows, py::len(block.frame));
    }
    if (!columns.empty() && columns.back().sheet_column >= velutil::kMaxColumns) {
        raise_value_error("sheet '" + sheet + "' has more columns than a sheet can hold");
    }
    if (rows + 1 > static_cast<size_t>(velutil::kMaxRows)) {
        raise_value_error("sheet '" + sheet + "' has " + std::to_string(rows) +
                          " rows, more than a sheet can hold (1048575 below the header)");
    }
    return columns;
}

void write_sheet(py::object workbook, const std::string& name, py::handle content, py::object bold, Writer writer) {
    std::vector<Block> blocks = blocks_of(content, name);
    size_t rows = 0;
    std::vector<Column> columns = columns_of(blocks, name, rows);
    writer.sheet = workbook.attr("add_worksheet")(name);
    writer.write_number = writer.sheet.attr("write_number");
    writer.write_string = writer.sheet.attr("write_string");
    writer.write_boolean = writer.sheet.attr("write_boolean");
    writer.write_datetime = writer.sheet.attr("write_datetime");

    // Widths first: the whole column decides, header included.
    for (const auto& column : columns) {
        std::string header = text_of(column.header);
        size_t widest = velutil::display_width(header) + 1;
        for (py::handle value : column.values) {
            size_t width = 0;
            std::string text;
            kind_of(value, writer, width, text);
            widest = std::max(widest, width);
        }
        writer.sheet.attr("set_column")(column.sheet_column, column.sheet_column,
                                        static_cast<double>(std::min(widest + 2, kMaxColumnWidth)));
    }
    writer.sheet.attr("freeze_panes")(1, 0);

    // Row by row, as the constant-memory writer needs it.
    for (const auto& column : columns) {
        std::string header = text_of(column.header);
        if (header.empty()) {
            writer.sheet.attr("write_blank")(0, column.sheet_column, py::none(), bold);
        } else {
            writer.write_string(0, column.sheet_column, header, bold);
        }
    }
    for (size_t row = 0; row < rows; ++row) {
        for (const auto& column : columns) {
            if (row < column.values.size()) write_cell(writer, static_cast<int>(row + 1), column.sheet_column, column.values[row]);
        }
    }
}

}  // namespace

bool write_formatted_excel(py::object path, py::object sheets) {
    try {
        if (!py::isinstance<py::dict>(sheets)) raise_value_error("the sheets must be given as a dict of sheet name to content");
        if (py::len(sheets) == 0) raise_value_error("a workbook needs at least one sheet");
        py::module_ xlsxwriter = py::module_::import("xlsxwriter");
        py::object buffer = py::module_::import("io").attr("BytesIO")();
        py::dict options;
        options["constant_memory"] = true;
        options["remove_timezone"] = true;
        py::object workbook = xlsxwriter.attr("Workbook")(buffer, options);
        try {
            py::dict bold_style;
            bold_style["bold"] = true;
            bold_style["bottom"] = 1;
            py::object bold = workbook.attr("add_format")(bold_style);
            auto format_of = [&](const char* pattern) {
                py::dict style;
                style["num_format"] = pattern;
                return workbook.attr("add_format")(style);
            };
            py::module_ pandas = py::module_::import("pandas");
            py::module_ datetime = py::module_::import("datetime");
            Writer writer{py::none(), py::none(), py::none(), py::none(), py::none(),
                          format_of("yyyy-mm-dd"), format_of("yyyy-mm-dd hh:mm:ss"), format_of("hh:mm:ss"),
                          Missing{pandas.attr("NA"), pandas.attr("NaT"), datetime.attr("datetime"), pandas.attr("isna")},
                          datetime.attr("date"), datetime.attr("time")};
            for (auto item : py::reinterpret_borrow<py::dict>(sheets)) {
                write_sheet(workbook, text_of(item.first), item.second, bold, writer);
            }
            workbook.attr("close")();
        } catch (...) {
            // Removes the writer's temporary files.
            try {
                workbook.attr("close")();
            } catch (py::error_already_set&) {
            }
            throw;
        }
        py::bytes content = buffer.attr("getvalue")();
        std::string_view data = content;
        velutil::write_file_atomically(to_fs(path), data.data(), data.size());
        return true;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        velutil_logger().attr("error")("Cannot write the workbook " + quoted(path) + ": " + text_of(error.value()));
        return false;
    } catch (const velutil::FileError& error) {
        velutil_logger().attr("error")("Cannot write the workbook " + quoted(path) + ": " + error.what() + " (" +
                                       std::strerror(error.error_number()) + ")");
        return false;
    }
}

}  // namespace velutil::excel_tables
