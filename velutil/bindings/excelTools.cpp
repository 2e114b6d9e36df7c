// velutil.excelTools: tables read out of CSV files and workbooks by cell
// reference, an exact-match join that compares values the way a clerk
// would, and formatted workbooks written atomically.
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

namespace py = pybind11;
using velutil::py_fs::to_fs;

namespace {

py::object velutil_logger() {
    return py::module_::import("velutil.app_logging").attr("lazy_logger")("velutil");
}

std::string text_of(py::handle value) { return py::str(value); }

std::string quoted(py::handle path) { return py::str(py::repr(py::module_::import("os").attr("fspath")(path))); }

[[noreturn]] void raise_value_error(const std::string& message) {
    py::set_error(PyExc_ValueError, message.c_str());
    throw py::error_already_set();
}

// ---------------------------------------------------------------- reading

struct Field {
    py::object name;
    velutil::CellReference reference;
};

std::vector<Field> fields_of(py::handle mapping, py::handle path) {
    if (!py::isinstance<py::dict>(mapping)) raise_value_error("The cell mapping for " + quoted(path) + " must be a dict.");
    std::vector<Field> fields;
    for (auto item : py::reinterpret_borrow<py::dict>(mapping)) {
        if (!py::isinstance<py::str>(item.second)) {
            raise_value_error("Invalid cell reference " + text_of(py::repr(item.second)) + " for column " +
                              text_of(py::repr(item.first)) + ": it must be a text such as \"H2\".");
        }
        try {
            fields.push_back({py::reinterpret_borrow<py::object>(item.first),
                              velutil::parse_cell_reference(item.second.cast<std::string>())});
        } catch (const std::invalid_argument& error) {
            raise_value_error("Invalid cell reference " + text_of(py::repr(item.second)) + " for column " +
                              text_of(py::repr(item.first)) + ": " + error.what() + ".");
        }
    }
    return fields;
}

// A column of CSV texts as the frame stores it: int64 when every value is
// an integer, float64 (missing values NaN) when every value is a number,
// else the texts as read.
py::object csv_column(const std::vector<std::optional<std::string>>& values) {
    size_t size = values.size();
    switch (velutil::column_kind(values)) {
        case velutil::NumberKind::kInteger: {
            bool complete = true;
            for (const auto& value : values) complete = complete && value.has_value();
            if (complete) {
                py::array_t<int64_t> column(static_cast<py::ssize_t>(size));
                auto out = column.mutable_unchecked<1>();
                for (size_t i = 0; i < size; ++i) {
                    std::string_view text = velutil::trim_blanks(*values[i]);
                    out(static_cast<py::ssize_t>(i)) = std::stoll(std::string(text));
                }
                return std::move(column);
            }
            [[fallthrough]];
        }
        case velutil::NumberKind::kDecimal: {
            py::array_t<double> column(static_cast<py::ssize_t>(size));
            auto out = column.mutable_unchecked<1>();
            for (size_t i = 0; i < size; ++i) {
                out(static_cast<py::ssize_t>(i)) =
                    values[i] ? std::strtod(std::string(velutil::trim_blanks(*values[i])).c_str(), nullptr)
                              : std::numeric_limits<double>::quiet_NaN();
            }
            return std::move(column);
        }
        case velutil::NumberKind::kText:
            break;
    }
    py::list column(size);
    for (size_t i = 0; i < size; ++i) {
        if (values[i]) {
            column[i] = py::str(*values[i]);
        } else {
            column[i] = py::none();
        }
    }
    return std::move(column);
}

py::object frame_of(const std::vector<Field>& fields, std::vector<py::object> columns) {
    py::dict data;
    for (size_t k = 0; k < fields.size(); ++k) data[fields[k].name] = columns[k];
    py::object pandas = py::module_::import("pandas");
    if (fields.empty()) return pandas.attr("DataFrame")();
    return pandas.attr("DataFrame")(data);
}

py::object read_csv_by_cells(py::object path, py::object mapping) {
    std::vector<Field> fields = fields_of(mapping, path);
    std::string raw;
    try {
        raw = velutil::read_file(to_fs(path));
    } catch (const velutil::FileError& error) {
        raise_value_error("Cannot read " + quoted(path) + ": " + std::strerror(error.error_number()) + ".");
    }
    std::string_view text = velutil::strip_utf8_bom(raw);
    size_t bad = velutil::find_invalid_utf8(text);
    if (bad != std::string_view::npos) {
        size_t offset = bad + (raw.size() - text.size());
        raise_value_error(quoted(path) + " is not UTF-8 text (byte " + std::to_string(offset) +
                          " cannot be decoded); save the export as UTF-8 CSV.");
    }
    std::vector<velutil::CellReference> references;
    for (const auto& field : fields) references.push_back(field.reference);
    velutil::SelectedFields selected;
    {
        py::gil_scoped_release unlocked;
        selected = velutil::select_csv_fields(text, velutil::detect_delimiter(text), references);
    }
    std::vector<py::object> columns;
    for (auto& values : selected.columns) {
        columns.push_back(csv_column(values));
        values.clear();
        values.shrink_to_fit();
    }
    return frame_of(fields, std::move(columns));
}

// The first visible worksheet, or the one named or numbered by `sheet`.
py::object choose_sheet(py::object workbook, py::object sheet, py::handle path) {
    if (py::isinstance<py::str>(sheet)) return workbook.attr("get_sheet_by_name")(sheet);
    if (!sheet.is_none()) return workbook.attr("get_sheet_by_index")(sheet);
    py::module_ calamine = py::module_::import("python_calamine");
    py::object visible = calamine.attr("SheetVisibleEnum").attr("Visible");
    py::object worksheet = calamine.attr("SheetTypeEnum").attr("WorkSheet");
    for (py::handle meta : workbook.attr("sheets_metadata")) {
        py::object shown = meta.attr("visible");
        py::object type = meta.attr("typ");
        if (shown.equal(visible) && type.equal(worksheet)) {
            return workbook.attr("get_sheet_by_name")(meta.attr("name"));
        }
    }
    (void)path;
    raise_value_error("it has no visible worksheet");
}

bool blank_cell(py::handle value) {
    if (value.is_none()) return true;
    if (PyUnicode_Check(value.ptr())) {
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
        if (data == nullptr) throw py::error_already_set();
        return velutil::is_blank_text(std::string_view(data, static_cast<size_t>(size)));
    }
    return false;
}

py::object read_excel_by_cells(py::object path, py::object mapping, py::object sheet_name) {
    std::vector<Field> fields = fields_of(mapping, path);
    py::module_ calamine = py::module_::import("python_calamine");
    py::object workbook;
    std::vector<py::list> columns(fields.size());
    try {
        workbook = calamine.attr("CalamineWorkbook").attr("from_path")(py::module_::import("os").attr("fspath")(path));
        py::object sheet = choose_sheet(workbook, sheet_name, path);
        py::object start = sheet.attr("start");
        if (!start.is_none() && !fields.empty()) {
            int first_column = start[py::int_(1)].cast<int>();
            int last_row = sheet.attr("end")[py::int_(0)].cast<int>();
            int first_row = velutil::kMaxRows;
            for (const auto& field : fields) first_row = std::min(first_row, field.reference.row);
            // The rows come from the sheet's first row on; the columns from
            // the first column that holds anything.
            int number = 0;
            std::vector<py::object> row_values(fields.size());
            for (py::handle row : sheet.attr("iter_rows")()) {
                ++number;
                if (number < first_row) continue;
                if (number > last_row + 1) break;
                auto cells = py::reinterpret_borrow<py::list>(row);
                auto width = static_cast<int>(cells.size());
                bool any = false;
                for (size_t k = 0; k < fields.size(); ++k) {
                    int index = fields[k].reference.column - first_column;
                    row_values[k] = py::none();
                    if (number < fields[k].reference.row || index < 0 || index >= width) continue;
                    py::object value = cells[static_cast<size_t>(index)];
                    if (blank_cell(value)) continue;
                    row_values[k] = value;
                    any = true;
                }
                if (!any) continue;
                for (size_t k = 0; k < fields.size(); ++k) columns[k].append(row_values[k]);
            }
        }
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        std::string reason = text_of(error.value());
        if (workbook) workbook.attr("close")();
        py::raise_from(error, PyExc_ValueError, ("Cannot read the workbook " + quoted(path) + ": " + reason).c_str());
        throw py::error_already_set();
    }
    workbook.attr("close")();
    std::vector<py::object> frames_columns(columns.begin(), columns.end());
    return frame_of(fields, std::move(frames_columns));
}

// ---------------------------------------------------------------- matching

struct Missing {
    py::object na;
    py::object nat;
    py::object datetime_type;
    py::object isna;
};

// The key form of one value, or nothing for a missing or blank value.
std::optional<std::string> key_of(py::handle value, const Missing& missing) {
    PyObject* object = value.ptr();
    if (object == Py_None || value.is(missing.na) || value.is(missing.nat)) return std::nullopt;
    if (PyBool_Check(object)) return std::string(object == Py_True ? "True" : "False");
    if (PyLong_Check(object)) {
        int overflow = 0;
        long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (overflow == 0) return std::to_string(number);
        return text_of(value);
    }
    if (PyFloat_Check(object)) {
        double number = PyFloat_AS_DOUBLE(object);
        if (std::isnan(number)) return std::nullopt;
        return velutil::number_key(number);
    }
    if (PyUnicode_Check(object)) {
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(object, &size);
        if (data == nullptr) throw py::error_already_set();
        std::string_view text = velutil::trim_blanks(std::string_view(data, static_cast<size_t>(size)));
        if (text.empty()) return std::nullopt;
        return std::string(text);
    }
    if (py::bool_(missing.isna(value))) return std::nullopt;
    std::string text(velutil::trim_blanks(text_of(value)));
    if (text.empty()) return std::nullopt;
    return text;
}

// One text per row holding all its key parts (each prefixed by its length,
// so that no two different part lists give the same text); nothing when a
// part is missing.
std::vector<std::optional<std::string>> row_keys(py::handle frame, const std::vector<std::string>& keys,
                                                 const Missing& missing) {
    size_t rows = py::len(frame);
    std::vector<std::optional<std::string>> result(rows, std::string());
    for (const auto& key : keys) {
        py::list values = frame[py::str(key)].attr("tolist")();
        for (size_t i = 0; i < rows; ++i) {
            if (!result[i]) continue;
            std::optional<std::string> part = key_of(values[i], missing);
            if (!part) {
                result[i].reset();
                continue;
            }
            *result[i] += std::to_string(part->size());
            *result[i] += ':';
            *result[i] += *part;
        }
    }
    return result;
}

py::object rows_of(py::object frame, const std::vector<int64_t>& positions, bool with_gaps) {
    py::array_t<int64_t> index(static_cast<py::ssize_t>(positions.size()), positions.data());
    py::object numbered = frame.attr("reset_index")(py::arg("drop") = true);
    // Position -1 stands for "no row on this side": reindex fills it with
    // missing values, take would wrap around.
    py::object rows = with_gaps ? numbered.attr("reindex")(index) : numbered.attr("take")(index);
    return rows.attr("reset_index")(py::arg("drop") = true);
}

py::object merge_exact_match(py::object df_left, py::object df_right, py::object num_keys, std::string how,
                             py::object suffixes) {
    if (how != "inner" && how != "left" && how != "right" && how != "outer") {
        raise_value_error("how must be 'inner', 'left', 'right' or 'outer', not '" + how + "'.");
    }
    std::vector<std::string> keys = py::isinstance<py::str>(num_keys) ? std::vector<std::string>{num_keys.cast<std::string>()}
                                                                      : num_keys.cast<std::vector<std::string>>();
    if (keys.empty()) raise_value_error("merge_exact_match needs at least one key column.");
    auto suffix_pair = suffixes.cast<std::pair<std::string, std::string>>();
    py::list left_columns = py::list(df_left.attr("columns"));
    py::list right_columns = py::list(df_right.attr("columns"));
    for (const auto& key : keys) {
        if (!left_columns.contains(py::str(key))) raise_value_error("The key column '" + key + "' is missing from df_left.");
        if (!right_columns.contains(py::str(key))) raise_value_error("The key column '" + key + "' is missing from df_right.");
    }

    py::module_ pandas = py::module_::import("pandas");
    Missing missing{pandas.attr("NA"), pandas.attr("NaT"), py::module_::import("datetime").attr("datetime"),
                    pandas.attr("isna")};
    auto left_keys = row_keys(df_left, keys, missing);
    auto right_keys = row_keys(df_right, keys, missing);

    std::vector<int64_t> left_rows;
    std::vector<int64_t> right_rows;
    {
        py::gil_scoped_release unlocked;
        bool right_first = how == "right";
        const auto& outer = right_first ? right_keys : left_keys;
        const auto& inner = right_first ? left_keys : right_keys;
        std::unordered_map<std::string_view, std::vector<int64_t>> lookup;
        lookup.reserve(inner.size());
        for (size_t i = 0; i < inner.size(); ++i) {
            if (inner[i]) lookup[*inner[i]].push_back(static_cast<int64_t>(i));
        }
        std::vector<char> inner_used(inner.size(), 0);
        auto& outer_rows = right_first ? right_rows : left_rows;
        auto& inner_rows = right_first ? left_rows : right_rows;
        bool keep_outer = how != "inner";
        for (size_t i = 0; i < outer.size(); ++i) {
            auto found = outer[i] ? lookup.find(*outer[i]) : lookup.end();
            if (found == lookup.end()) {
                if (keep_outer) {
                    outer_rows.push_back(static_cast<int64_t>(i));
                    inner_rows.push_back(-1);
                }
                continue;
            }
            for (int64_t j : found->second) {
                outer_rows.push_back(static_cast<int64_t>(i));
                inner_rows.push_back(j);
                inner_used[static_cast<size_t>(j)] = 1;
            }
        }
        if (how == "outer") {
            for (size_t j = 0; j < inner.size(); ++j) {
                if (inner_used[j]) continue;
                outer_rows.push_back(-1);
                inner_rows.push_back(static_cast<int64_t>(j));
            }
        }
    }

    bool left_gaps = false;
    bool right_gaps = false;
    for (int64_t row : left_rows) left_gaps = left_gaps || row < 0;
    for (int64_t row : right_rows) right_gaps = right_gaps || row < 0;
    py::object left_part = rows_of(df_left, left_rows, left_gaps);
    py::object right_part = rows_of(df_right, right_rows, right_gaps);

    auto is_key = [&](const std::string& name) { return std::find(keys.begin(), keys.end(), name) != keys.end(); };
    py::dict result;
    py::list order;
    auto add = [&](py::object name, py::object column) {
        if (result.contains(name)) {
            raise_value_error("The joined table would have two columns named " + text_of(py::repr(name)) + ".");
        }
        result[name] = column;
        order.append(name);
    };
    py::array_t<bool> from_left(static_cast<py::ssize_t>(left_rows.size()));
    {
        auto out = from_left.mutable_unchecked<1>();
        for (size_t i = 0; i < left_rows.size(); ++i) out(static_cast<py::ssize_t>(i)) = left_rows[i] >= 0;
    }
    for (py::handle column : left_columns) {
        py::object name = py::reinterpret_borrow<py::object>(column);
        std::string text = py::isinstance<py::str>(column) ? column.cast<std::string>() : std::string();
        if (py::isinstance<py::str>(column) && is_key(text)) {
            py::object values = left_part[name];
            // Rows that only the right side has take their key from there.
            if (left_gaps) values = values.attr("where")(from_left, right_part[name]);
            add(name, values);
        } else if (right_columns.contains(column)) {
            add(py::str(text_of(column) + suffix_pair.first), left_part[name]);
        } else {
            add(name, left_part[name]);
        }
    }
    for (py::handle column : right_columns) {
        py::object name = py::reinterpret_borrow<py::object>(column);
        if (py::isinstance<py::str>(column) && is_key(column.cast<std::string>())) continue;
        if (left_columns.contains(column)) {
            add(py::str(text_of(column) + suffix_pair.second), right_part[name]);
        } else {
            add(name, right_part[name]);
        }
    }
    py::object frame = pandas.attr("DataFrame")(result, py::arg("columns") = order);
    if (left_rows.empty()) frame = frame.attr("reset_index")(py::arg("drop") = true);
    return frame;
}

// ---------------------------------------------------------------- writing

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

}  // namespace

PYBIND11_MODULE(excelTools, m) {
    m.doc() = "Tables read from CSV files and workbooks by cell reference, exact-match joins, formatted workbooks.";
    velutil::py_fs::register_file_error();

    m.def("read_csv_by_cells", &read_csv_by_cells, py::arg("path"), py::arg("mapping"),
          "A DataFrame with one column per entry of `mapping` (column name ->\n"
          "cell reference such as \"H2\": column H, data from row 2 on; the rows\n"
          "above are headers). Rows whose mapped cells are all blank are left\n"
          "out. Numbers become int64 or float64 columns; any other column keeps\n"
          "its texts as written (\"0045001234\" keeps its zeros). UTF-8 with or\n"
          "without a byte-order mark; ',', ';' or tab as the delimiter.");
    m.def("read_excel_by_cells", &read_excel_by_cells, py::arg("path"), py::arg("mapping"),
          py::arg("sheet_name") = py::none(),
          "Like read_csv_by_cells for a workbook (.xlsx, .xlsm, .xls, .ods),\n"
          "from its first visible worksheet unless `sheet_name` names or numbers\n"
          "one. Values keep the type of their cell.");
    m.def("merge_exact_match", &merge_exact_match, py::arg("df_left"), py::arg("df_right"), py::arg("num_keys"),
          py::arg("how") = "inner", py::arg("suffixes") = py::make_tuple("_x", "_y"),
          "Join two DataFrames on equal keys. Keys compare trimmed, and a whole\n"
          "number equals its integer text (10, 10.0 and \"10\" match); blank and\n"
          "missing keys match nothing. Every pair of matching rows is one row,\n"
          "in the order of the left table (of the right one for how='right');\n"
          "the values are kept as read.");
    m.def("write_formatted_excel", &write_formatted_excel, py::arg("path"), py::arg("sheets"),
          "Write {sheet name: DataFrame or [{\"df\", \"index\", \"startcol\"}, ...]}\n"
          "as a workbook: bold header row, frozen, columns as wide as their\n"
          "content. The file is replaced only by a complete workbook. Returns\n"
          "False, after logging why, when it cannot be written.");
}
