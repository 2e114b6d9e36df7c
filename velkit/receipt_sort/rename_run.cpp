#include "rename_run.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "file_name.hpp"
#include "state.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::receipt_sort {

namespace {

// Text crosses into the C++ helpers as UTF-8; lone surrogates (file names
// that are not UTF-8 on disk) pass through unchanged.
std::string to_utf8(py::handle text) {
    return py::bytes(py::reinterpret_borrow<py::str>(text).attr("encode")("utf-8", "surrogatepass"));
}
py::str from_utf8(const std::string& text) {
    return py::bytes(text).attr("decode")("utf-8", "surrogatepass");
}

// The text forms of the parts, joined; log messages are built from
// interpreter text so that any file name can be shown.
py::str join(std::initializer_list<py::handle> parts) {
    py::list texts;
    for (py::handle part : parts) texts.append(py::str(part));
    return py::str("").attr("join")(texts);
}

void log_info(py::handle message) { state().log.object().attr("info")(message); }
void log_error(py::handle message) { state().log.object().attr("error")(message); }

py::module_ os_path() { return py::module_::import("os.path"); }

// Closes a workbook without letting an error of the close hide the error
// that is already being handled.
void close_quietly(py::handle book) {
    try {
        book.attr("close")();
    } catch (py::error_already_set&) {
    }
}

// The object under `key`, an empty one when the key is missing.
py::dict section(const py::dict& config_dict, const char* key) {
    py::object value = config_dict.attr("get")(key, py::dict());
    if (!py::isinstance<py::dict>(value)) {
        throw ConfigError(std::string("'") + key + "' must be an object, not " +
                          std::string(py::str(py::type::of(value).attr("__name__"))));
    }
    return value;
}

// The text under `key` of `part`, or `fallback` when it is missing.
py::str text_setting(const py::dict& part, const char* part_name, const char* key, const char* fallback) {
    py::object value = part.attr("get")(key, fallback);
    if (!py::isinstance<py::str>(value)) {
        throw ConfigError(std::string("'") + part_name + "." + key + "' must be a string (got " +
                          std::string(py::str(py::repr(value))) + ")");
    }
    return value;
}

struct CellPosition {
    long row;
    long column;
};

// Where a single-cell reference ("D6", "$P$56") points; nothing for a
// range, a row, a column or text that is no reference.
std::optional<CellPosition> cell_position(py::handle reference) {
    const py::object& cells = state().cell_references;
    try {
        py::tuple parts = cells.attr("coordinate_from_string")(reference);
        long column = cells.attr("column_index_from_string")(parts[0]).cast<long>();
        return CellPosition{parts[1].cast<long>(), column};
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        return std::nullopt;
    }
}

// The values of single cells of a read-only sheet in one pass over the
// rows that hold them: every lookup by reference would parse the sheet
// from its first row again. Nothing when a reference is not a single cell
// or the cells lie too far apart for one rectangle of values.
std::optional<py::list> values_in_one_pass(py::handle sheet, const py::list& references) {
    constexpr long kMostCellsInOnePass = 100000;
    std::vector<CellPosition> positions;
    for (py::handle reference : references) {
        std::optional<CellPosition> position = cell_position(reference);
        if (!position) return std::nullopt;
        positions.push_back(*position);
    }
    if (positions.empty()) return py::list();
    auto [top, bottom] = std::minmax_element(positions.begin(), positions.end(),
                                             [](auto& a, auto& b) { return a.row < b.row; });
    auto [left, right] = std::minmax_element(positions.begin(), positions.end(),
                                             [](auto& a, auto& b) { return a.column < b.column; });
    long first_row = top->row, first_column = left->column;
    long height = bottom->row - first_row + 1, width = right->column - first_column + 1;
    if (height * width > kMostCellsInOnePass) return std::nullopt;

    // Row i of the iteration is sheet row first_row + i; a sheet that ends
    // earlier yields fewer rows.
    std::vector<py::object> rows;
    for (py::handle row : sheet.attr("iter_rows")(py::arg("min_row") = first_row, py::arg("max_row") = bottom->row,
                                                  py::arg("min_col") = first_column,
                                                  py::arg("max_col") = right->column, py::arg("values_only") = true)) {
        rows.push_back(py::reinterpret_borrow<py::object>(row));
    }
    py::list values;
    for (const CellPosition& position : positions) {
        size_t row = static_cast<size_t>(position.row - first_row);
        size_t column = static_cast<size_t>(position.column - first_column);
        if (row < rows.size() && column < py::len(rows[row])) {
            values.append(rows[row][py::int_(column)]);
        } else {
            values.append(py::none());
        }
    }
    return values;
}

LocalTime local_time_now() {
    py::object now = state().module.attr("datetime").attr("now")();
    LocalTime time;
    time.month = now.attr("month").cast<int>();
    time.day = now.attr("day").cast<int>();
    time.hour = now.attr("hour").cast<int>();
    time.minute = now.attr("minute").cast<int>();
    time.second = now.attr("second").cast<int>();
    time.microsecond = now.attr("microsecond").cast<int>();
    return time;
}

}  // namespace

py::list get_excel_cell_value(py::object file_path, py::object cell_locations) {
    py::list references(cell_locations);
    try {
        py::object book = state().load_workbook(file_path, py::arg("data_only") = true, py::arg("read_only") = true);
        py::list values;
        try {
            py::object sheet = book.attr("active");
            if (std::optional<py::list> read = values_in_one_pass(sheet, references)) {
                values = *read;
            } else {
                for (py::handle reference : references) values.append(sheet[reference].attr("value"));
            }
        } catch (py::error_already_set&) {
            close_quietly(book);
            throw;
        }
        // Read-only workbooks keep their file open until closed.
        book.attr("close")();
        return values;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        log_error(join({py::str("Error reading excel "), file_path, py::str(": "), error.value()}));
        py::list nothing;
        for (size_t i = 0; i < references.size(); ++i) nothing.append(py::none());
        return nothing;
    }
}

py::str sanitize_filename(py::handle name) {
    if (name.is_none()) return py::str("Unknown");
    return from_utf8(sanitize_name_part(to_utf8(py::str(name))));
}

void run_rename(const py::dict& config_dict) {
    ModuleState& module = state();
    if (!module.has_openpyxl) {
        module.log.error("Missing required package 'openpyxl'. Please run: pip install Velkit[excel]");
        return;
    }
    py::dict conf = section(config_dict, "config");
    py::dict excel_in = section(config_dict, "excel_in");
    py::str input_path = text_setting(conf, "config", "path", "./data_receipt_sort");
    bool dry_run = is_dry_run(to_utf8(py::str(conf.attr("get")("dry_run", "False"))));
    py::str name_cell = text_setting(excel_in, "excel_in", "name_cell", "D6");
    py::str amount_cell = text_setting(excel_in, "excel_in", "amount_cell", "P56");

    py::object target_dir = helperlib::get_folder_from_path(input_path);
    py::object output_folder = helperlib::generate_output_path(target_dir, "results");
    py::object backup_folder = helperlib::generate_output_path(target_dir, "backup");
    py::list files = helperlib::find_files_with_extensions(input_path, {".xlsx"}).paths;
    log_info(join({py::str("Starting expense processing in: "), input_path}));

    py::module_ path_ops = os_path();
    py::list cells;
    cells.append(name_cell);
    cells.append(amount_cell);
    // Names a dry run has handed out: a real run would have created them.
    py::set planned;
    for (py::handle path : files) {
        py::object old_name = path_ops.attr("basename")(path);
        py::list values = get_excel_cell_value(py::reinterpret_borrow<py::object>(path), cells);
        if (values[0].is_none() || values[1].is_none()) {
            log_error(join({py::str("---> Skipping "), old_name, py::str(": Cannot find Name or Amount in "),
                            name_cell, py::str(" or "), amount_cell}));
            continue;
        }
        std::string code = date_code(local_time_now());
        py::str new_name = from_utf8(
            new_file_name(to_utf8(sanitize_filename(values[0])), to_utf8(sanitize_filename(values[1])), code));
        py::object dest_path = path_ops.attr("join")(output_folder, new_name);
        py::object backup_path = path_ops.attr("join")(backup_folder, old_name);
        try {
            // A name already taken in the results folder is never replaced:
            // the workbook gets the first free "_2", "_3", ... name instead.
            if (dry_run) {
                py::object free_path = helperlib::first_free_name(dest_path, planned);
                planned.add(free_path);
                log_info(join({py::str("[Dry-Run] Would move: "), old_name, py::str(" -> "),
                               path_ops.attr("basename")(free_path)}));
                continue;
            }
            py::object free_path = helperlib::first_free_name(dest_path);
            log_info(join({py::str("Processing: "), old_name, py::str(" -> "), path_ops.attr("basename")(free_path)}));
            py::object used = helperlib::move_file_force(path, dest_path, backup_path, /*replace=*/false);
            if (!used.equal(free_path)) {
                log_info(join({py::str("---> "), path_ops.attr("basename")(free_path),
                               py::str(" was taken meanwhile; moved as "), path_ops.attr("basename")(used)}));
            }
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            log_error(join({py::str("Failed to move "), path, py::str(": "), error.value()}));
        }
    }
}

void register_run(py::module_& m) {
    m.def("get_excel_cell_value", &get_excel_cell_value, py::arg("file_path"), py::arg("cell_locations"),
          "The values of the cells (\"D6\", ...) on the workbook's active sheet, in\n"
          "order; None for an empty cell. A workbook that cannot be read gives\n"
          "None for every cell and an error record.");
    m.def("sanitize_filename", &sanitize_filename, py::arg("name"),
          "The text form of `name` without \\ / * ? : \" < > | and without blanks\n"
          "at both ends; \"Unknown\" for None.");
    m.def(
        "process_expense_rename",
        [](py::dict config_dict) {
            try {
                run_rename(config_dict);
            } catch (const ConfigError& error) {
                throw py::type_error(error.what());
            }
        },
        py::arg("config_dict"),
        "Moves every .xlsx workbook of config.path into its \"results\" folder as\n"
        "<name>_<amount>_<MMDD_HHMMSScc>.xlsx, keeping the old file in \"backup\";\n"
        "with config.dry_run only logs the planned moves.");
}

}  // namespace velkit::receipt_sort
