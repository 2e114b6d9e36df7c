// velutil.excelTools, reading: tables read out of CSV files and workbooks
// by cell reference.
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
#include "text_kit.hpp"
#include "xml_stream.hpp"
#include "excel_tables.hpp"
#include "py_messages.hpp"

namespace velutil::excel_tables {

using py_fs::to_fs;
using py_messages::quoted;
using py_messages::raise_value_error;
using py_messages::text_of;
using py_messages::velutil_logger;

namespace {

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
// else each value as what it is: numbers as numbers, the rest as text.
py::object csv_column(const std::vector<std::optional<std::string>>& values, velutil::NumberStyle style) {
    size_t size = values.size();
    switch (velutil::column_kind(values, style)) {
        case velutil::NumberKind::kInteger: {
            bool complete = true;
            for (const auto& value : values) complete = complete && value.has_value();
            if (complete) {
                py::array_t<int64_t> column(static_cast<py::ssize_t>(size));
                auto out = column.mutable_unchecked<1>();
                for (size_t i = 0; i < size; ++i) out(static_cast<py::ssize_t>(i)) = velutil::read_number(*values[i], style).integer;
                return std::move(column);
            }
            [[fallthrough]];
        }
        case velutil::NumberKind::kDecimal: {
            py::array_t<double> column(static_cast<py::ssize_t>(size));
            auto out = column.mutable_unchecked<1>();
            for (size_t i = 0; i < size; ++i) {
                out(static_cast<py::ssize_t>(i)) = values[i] ? velutil::read_number(*values[i], style).decimal
                                                             : std::numeric_limits<double>::quiet_NaN();
            }
            return std::move(column);
        }
        case velutil::NumberKind::kText:
            break;
    }
    py::list column(size);
    for (size_t i = 0; i < size; ++i) {
        if (!values[i]) {
            column[i] = py::none();
            continue;
        }
        velutil::Number number = velutil::read_number(*values[i], style);
        if (number.kind == velutil::NumberKind::kInteger) {
            column[i] = py::int_(number.integer);
        } else if (number.kind == velutil::NumberKind::kDecimal) {
            column[i] = py::float_(number.decimal);
        } else {
            column[i] = py::str(*values[i]);
        }
    }
    return std::move(column);
}

// The table, its index the row numbers as the file shows them, and what
// the reader noticed in its attrs ("sheet", "encoding", "delimiter").
py::object frame_of(const std::vector<Field>& fields, std::vector<py::object> columns, const std::vector<int>& rows,
                    py::dict notes) {
    py::module_ pandas = py::module_::import("pandas");
    py::array_t<int64_t> index(static_cast<py::ssize_t>(rows.size()));
    auto out = index.mutable_unchecked<1>();
    for (size_t i = 0; i < rows.size(); ++i) out(static_cast<py::ssize_t>(i)) = rows[i];
    py::object frame;
    if (fields.empty()) {
        frame = pandas.attr("DataFrame")();
    } else {
        py::dict data;
        for (size_t k = 0; k < fields.size(); ++k) data[fields[k].name] = columns[k];
        frame = pandas.attr("DataFrame")(data, py::arg("index") = pandas.attr("Index")(index, py::arg("name") = "row"));
    }
    frame.attr("attrs").attr("update")(notes);
    return frame;
}

}  // namespace

namespace {

velutil::TextEncoding encoding_setting(py::handle encoding) {
    if (encoding.is_none()) return velutil::TextEncoding::kGuess;
    std::string name = velutil::ascii_lower(py::isinstance<py::str>(encoding) ? encoding.cast<std::string>() : "?");
    if (name == "utf-8" || name == "utf8") return velutil::TextEncoding::kUtf8;
    if (name == "utf-16" || name == "utf16") return velutil::TextEncoding::kUtf16;
    if (name == "cp1252" || name == "windows-1252") return velutil::TextEncoding::kCp1252;
    raise_value_error("encoding must be \"utf-8\", \"utf-16\" or \"cp1252\", not " + text_of(py::repr(encoding)) + ".");
}

char one_character(py::handle value, const char* what) {
    std::string text = py::isinstance<py::str>(value) ? value.cast<std::string>() : std::string();
    if (text.size() != 1 || text[0] == '"' || text[0] == '\n' || text[0] == '\r') {
        raise_value_error(std::string(what) + " must be one character (not a quote or a line break), not " +
                          text_of(py::repr(value)) + ".");
    }
    return text[0];
}

// "rows 3, 7 and 12" (at most ten named).
std::string rows_named(const std::vector<int>& rows) {
    std::string text = rows.size() == 1 ? "row " : "rows ";
    size_t shown = std::min<size_t>(rows.size(), 10);
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0) text += i + 1 == shown && shown == rows.size() ? " and " : ", ";
        text += std::to_string(rows[i]);
    }
    if (shown < rows.size()) text += " and " + std::to_string(rows.size() - shown) + " more";
    return text;
}

}  // namespace

py::object read_csv_by_cells(py::object path, py::object mapping, py::object delimiter_setting,
                             py::object encoding_setting_value, py::object decimal_setting) {
    std::vector<Field> fields = fields_of(mapping, path);
    velutil::TextEncoding wanted = encoding_setting(encoding_setting_value);
    char chosen_delimiter = delimiter_setting.is_none() ? 0 : one_character(delimiter_setting, "delimiter");
    char decimal_mark = decimal_setting.is_none() ? 0 : one_character(decimal_setting, "decimal");
    if (decimal_mark != 0 && decimal_mark != ',' && decimal_mark != '.') {
        raise_value_error("decimal must be \",\" or \".\", not " + text_of(py::repr(decimal_setting)) + ".");
    }
    velutil::DecodedText decoded;
    try {
        decoded = velutil::decode_text(velutil::read_file(to_fs(path)), wanted);
    } catch (const velutil::FileError& error) {
        raise_value_error("Cannot read " + quoted(path) + ": " + std::strerror(error.error_number()) + ".");
    }
    std::string_view text = decoded.text;
    py::dict notes;
    notes["encoding"] = velutil::encoding_name(decoded.encoding);
    std::vector<size_t> marks = std::move(decoded.repaired);
    char delimiter = chosen_delimiter;
    const char* delimiter_from = "setting";
    if (auto sep = velutil::sep_line(text)) {
        // The file's own word; a setting still wins.
        size_t skipped = text.size() - sep->rest.size();
        text = sep->rest;
        for (size_t& mark : marks) mark = mark >= skipped ? mark - skipped : 0;
        if (delimiter == 0) {
            delimiter = sep->delimiter;
            delimiter_from = "sep line";
        }
    }
    if (delimiter == 0) {
        delimiter = velutil::detect_delimiter(text);
        delimiter_from = "detected";
    }
    notes["delimiter"] = std::string(1, delimiter);
    notes["delimiter_from"] = delimiter_from;
    if (decimal_mark == 0) decimal_mark = delimiter == ';' ? ',' : '.';
    notes["decimal"] = std::string(1, decimal_mark);
    velutil::NumberStyle style = decimal_mark == ',' ? velutil::kDecimalComma : velutil::kDecimalPoint;
    std::vector<velutil::CellReference> references;
    for (const auto& field : fields) references.push_back(field.reference);
    velutil::SelectedFields selected;
    {
        py::gil_scoped_release unlocked;
        selected = velutil::select_csv_fields(text, delimiter, references, marks);
    }
    py::list problems;
    if (!selected.unclosed_rows.empty()) {
        problems.append(rows_named(selected.unclosed_rows) +
                        ": a quote opens a field that is never closed; read with the quotes as written");
    }
    if (!selected.marked_rows.empty()) {
        problems.append(rows_named(selected.marked_rows) +
                        (decoded.encoding == velutil::TextEncoding::kUtf16
                             ? ": bytes that are not UTF-16 are read as \uFFFD"
                             : ": bytes that are not UTF-8 are read as Windows-1252"));
    }
    notes["problems"] = problems;
    std::vector<py::object> columns;
    for (auto& values : selected.columns) {
        columns.push_back(csv_column(values, style));
        values.clear();
        values.shrink_to_fit();
    }
    return frame_of(fields, std::move(columns), selected.row_numbers, notes);
}

py::tuple csv_records(py::object path, py::object delimiter, py::object encoding) {
    velutil::TextEncoding wanted = encoding_setting(encoding);
    char separator = one_character(delimiter, "delimiter");
    velutil::DecodedText decoded;
    try {
        decoded = velutil::decode_text(velutil::read_file(to_fs(path)), wanted);
    } catch (const velutil::FileError& error) {
        raise_value_error("Cannot read " + quoted(path) + ": " + std::strerror(error.error_number()) + ".");
    }
    velutil::CsvRecords records(decoded.text, separator);
    std::vector<std::string> fields;
    py::list rows;
    py::list unclosed;
    while (records.next(fields)) {
        if (records.last_was_unclosed()) unclosed.append(py::len(rows) + 1);
        py::list row;
        for (const auto& field : fields) row.append(py::str(field));
        rows.append(row);
    }
    return py::make_tuple(rows, unclosed);
}

namespace {

// The name of the first visible worksheet, or of the one named or numbered
// by `sheet`; a number past the last sheet is left to calamine to refuse.
std::optional<py::str> chosen_sheet_name(py::object workbook, py::object sheet) {
    if (py::isinstance<py::str>(sheet)) return py::str(sheet);
    if (py::isinstance<py::int_>(sheet)) {
        py::list names = workbook.attr("sheet_names");
        long long index = sheet.cast<long long>();
        if (index < 0 || index >= static_cast<long long>(names.size())) return std::nullopt;
        return py::str(names[static_cast<size_t>(index)]);
    }
    if (!sheet.is_none()) return std::nullopt;
    py::module_ calamine = py::module_::import("python_calamine");
    py::object visible = calamine.attr("SheetVisibleEnum").attr("Visible");
    py::object worksheet = calamine.attr("SheetTypeEnum").attr("WorkSheet");
    for (py::handle meta : workbook.attr("sheets_metadata")) {
        py::object shown = meta.attr("visible");
        py::object type = meta.attr("typ");
        if (shown.equal(visible) && type.equal(worksheet)) return py::str(meta.attr("name"));
    }
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

}  // namespace

namespace {

// python-calamine opens a workbook by a name it takes as UTF-8 text and
// picks the reader by its extension; a name that is no UTF-8 (bytes, or a
// str with surrogate escapes, as the file system gave it) it cannot open.
// Such a workbook is opened through a link with a UTF-8 name and the same
// extension, in a private temporary folder; the link goes as soon as the
// workbook is open (calamine keeps the file open). Its from_filelike needs
// no link, but it guesses the kind, and every failure (a password, a
// damaged archive) reads "Cannot detect file format": only where no link
// can be made.
py::object open_calamine_workbook(py::handle path) {
    py::object workbook_type = py::module_::import("python_calamine").attr("CalamineWorkbook");
    py::object from_path = workbook_type.attr("from_path");
    py::module_ os = py::module_::import("os");
    py::bytes encoded = os.attr("fsencode")(path);
    std::string name = encoded;
    if (velutil::find_invalid_utf8(name) == std::string::npos) return from_path(py::str(name));
    std::string extension;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && name.find('/', dot) == std::string::npos &&
        velutil::find_invalid_utf8(name.substr(dot)) == std::string::npos) {
        extension = name.substr(dot);
    }
    py::object folder;
    py::object link;
    auto remove = [&] {
        if (link && py::bool_(os.attr("path").attr("lexists")(link))) os.attr("unlink")(link);
        if (folder) os.attr("rmdir")(folder);
    };
    try {
        folder = py::module_::import("tempfile").attr("mkdtemp")(py::arg("prefix") = "velutil-");
        link = os.attr("path").attr("join")(folder, py::str("workbook" + extension));
        os.attr("symlink")(os.attr("path").attr("abspath")(encoded), link);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_OSError)) throw;
        // No link where temporary files go: the file itself, its kind
        // guessed (calamine reads it whole into memory first).
        remove();
        py::object file = py::module_::import("io").attr("open")(path, "rb");
        try {
            py::object workbook = workbook_type.attr("from_filelike")(file);
            file.attr("close")();
            return workbook;
        } catch (py::error_already_set&) {
            file.attr("close")();
            throw;
        }
    }
    try {
        py::object workbook = from_path(link);
        remove();
        return workbook;
    } catch (py::error_already_set&) {
        try {
            remove();
        } catch (py::error_already_set& cleanup) {
            cleanup.discard_as_unraisable(__func__);
        }
        throw;
    }
}

// Other workbook kinds (.xls, .xlsb, .ods) through python-calamine, which
// holds the sheet's whole used range: a sheet whose range is mostly empty
// is refused before.
FieldRows read_with_calamine(py::object path, const std::vector<Field>& fields, py::object sheet_name) {
    FieldRows result;
    result.columns.resize(fields.size());
    check_xls_sheets(path);
    check_ods_sheets(path);
    py::object workbook = open_calamine_workbook(path);
    try {
        auto name = chosen_sheet_name(workbook, sheet_name);
        if (name) check_xlsb_sheet(path, name->cast<std::string>());
        py::object sheet = name ? workbook.attr("get_sheet_by_name")(*name) : workbook.attr("get_sheet_by_index")(sheet_name);
        result.sheet = py::str(sheet.attr("name"));
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
                for (size_t k = 0; k < fields.size(); ++k) result.columns[k].append(row_values[k]);
                result.rows.push_back(number);
            }
        }
    } catch (...) {
        workbook.attr("close")();
        throw;
    }
    workbook.attr("close")();
    return result;
}

}  // namespace

py::object read_excel_by_cells(py::object path, py::object mapping, py::object sheet_name) {
    std::vector<Field> fields = fields_of(mapping, path);
    FieldRows table;
    try {
        table = is_xlsx_package(path) ? read_xlsx_fields(path, fields, sheet_name)
                                      : read_with_calamine(path, fields, sheet_name);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        // An OSError's own text repeats the name, in repr's form.
        py::object strerror = error.matches(PyExc_OSError) ? py::getattr(error.value(), "strerror", py::none()) : py::none();
        std::string reason = text_of(strerror.is_none() ? error.value() : strerror);
        py::raise_from(error, PyExc_ValueError, ("Cannot read the workbook " + quoted(path) + ": " + reason).c_str());
        throw py::error_already_set();
    } catch (const std::bad_alloc&) {
        raise_value_error("Cannot read the workbook " + quoted(path) + ": it needs more memory than there is");
    } catch (const velutil::XmlError& error) {
        raise_value_error("Cannot read the workbook " + quoted(path) + ": its XML is damaged (" + error.what() + ")");
    }
    std::vector<py::object> columns(table.columns.begin(), table.columns.end());
    py::dict notes;
    notes["sheet"] = table.sheet;
    return frame_of(fields, std::move(columns), table.rows, notes);
}

}  // namespace velutil::excel_tables
