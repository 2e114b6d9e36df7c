// velutil.excelTools, writing: formatted workbooks, written atomically.
// The cells are written in C by libxlsxwriter when the module was built
// with it, else through the Python XlsxWriter; both get the same cells.
#include <pybind11/pybind11.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cell_reference.hpp"
#include "excel_tables.hpp"
#include "file_error.hpp"
#include "frame_columns.hpp"
#include "py_messages.hpp"
#include "pyfs.hpp"
#include "python_book.hpp"
#include "safe_files.hpp"
#include "sheet_cells.hpp"
#include "sheet_writing.hpp"
#ifdef VELUTIL_WITH_LIBXLSXWRITER
#include "xlsx_book.hpp"
#endif

namespace velutil::excel_tables {

using py_fs::to_fs;
using py_messages::raise_value_error;
using py_messages::text_of;
using py_messages::velutil_logger;

namespace {

struct Block {
    py::object frame;
    bool index = false;
    int64_t startcol = 0;
};

struct SheetPlan {
    std::string name;
    std::vector<Block> blocks;
    size_t rows = 0;
};

std::string shown(py::handle value) { return py::repr(value); }

int64_t startcol_of(py::handle value, const std::string& sheet) {
    const std::string problem = "the \"startcol\" of a block of sheet '" + sheet +
                                "' must be a whole number from 0 to " + std::to_string(kMaxColumns - 1) +
                                " (got " + shown(value) + ")";
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) raise_value_error(problem);
    py::object number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!number) throw py::error_already_set();
    int overflow = 0;
    long long column = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0 || column < 0 || column >= kMaxColumns) raise_value_error(problem);
    return column;
}

bool index_of(py::handle value, const std::string& sheet, const ColumnTypes& types) {
    if (!PyBool_Check(value.ptr()) && !py::isinstance(value, types.numpy_bool)) {
        raise_value_error("the \"index\" of a block of sheet '" + sheet + "' must be True or False (got " +
                          shown(value) + ")");
    }
    return PyObject_IsTrue(value.ptr()) == 1;
}

std::vector<Block> blocks_of(py::handle content, const std::string& sheet, py::handle frame_type,
                             const ColumnTypes& types) {
    if (py::isinstance(content, frame_type)) return {Block{py::reinterpret_borrow<py::object>(content)}};
    if (!py::isinstance<py::list>(content) && !py::isinstance<py::tuple>(content)) {
        raise_value_error("sheet '" + sheet + "' must be given a DataFrame or a list of blocks");
    }
    std::vector<Block> blocks;
    for (py::handle item : content) {
        if (!py::isinstance<py::dict>(item) || !item.contains("df") || !py::isinstance(item["df"], frame_type)) {
            raise_value_error("every block of sheet '" + sheet + "' must be a dict with a DataFrame under \"df\"");
        }
        Block block{item["df"].cast<py::object>()};
        for (auto [key, value] : py::reinterpret_borrow<py::dict>(item)) {
            const std::string name = py::isinstance<py::str>(key) ? key.cast<std::string>() : std::string();
            if (name == "index") {
                block.index = index_of(value, sheet, types);
            } else if (name == "startcol") {
                block.startcol = startcol_of(value, sheet);
            } else if (name != "df") {
                raise_value_error("a block of sheet '" + sheet + "' has the unknown key " + shown(key) +
                                  " (known: \"df\", \"index\", \"startcol\")");
            }
        }
        blocks.push_back(std::move(block));
    }
    return blocks;
}

// Every sheet checked against the limits of a workbook before anything is
// written.
std::vector<SheetPlan> plan_of(py::handle sheets, const ColumnTypes& types) {
    if (!py::isinstance<py::dict>(sheets)) raise_value_error("the sheets must be given as a dict of sheet name to content");
    if (py::len(sheets) == 0) raise_value_error("a workbook needs at least one sheet");
    py::object frame_type = py::module_::import("pandas").attr("DataFrame");
    std::vector<SheetPlan> plans;
    std::vector<std::string> names;
    for (auto [key, content] : py::reinterpret_borrow<py::dict>(sheets)) {
        SheetPlan plan{text_of(key), {}, 0};
        if (std::string problem = sheet_name_problem(plan.name, names); !problem.empty()) throw WorkbookError(problem);
        names.push_back(plan.name);
        plan.blocks = blocks_of(content, plan.name, frame_type, types);
        std::vector<BlockShape> shapes;
        for (const auto& block : plan.blocks) {
            const auto columns = static_cast<int64_t>(py::len(block.frame.attr("columns"))) + (block.index ? 1 : 0);
            shapes.push_back({block.startcol, columns, py::len(block.frame)});
        }
        plan.rows = checked_sheet_rows(plan.name, shapes);
        plans.push_back(std::move(plan));
    }
    return plans;
}

std::string header_of(py::handle label) { return label.is_none() ? std::string() : text_of(label); }

void write_planned_sheet(BookSink& book, const SheetPlan& plan, const ColumnTypes& types) {
    std::vector<std::unique_ptr<ColumnSource>> sources;
    std::vector<SheetColumn> columns;
    const py::object all_rows = py::reinterpret_steal<py::object>(PySlice_New(nullptr, nullptr, nullptr));
    for (const auto& block : plan.blocks) {
        auto column = static_cast<int>(block.startcol);
        auto add = [&](std::string header, const py::object& values) {
            sources.push_back(column_source(values, types));
            columns.push_back({std::move(header), column++, sources.back().get()});
        };
        if (block.index) {
            py::object index = block.frame.attr("index");
            add(header_of(index.attr("name")), index);
        }
        py::object labels = block.frame.attr("columns");
        py::object by_position = block.frame.attr("iloc");
        for (size_t i = 0; i < py::len(labels); ++i) {
            add(text_of(labels[py::int_(i)]), by_position[py::make_tuple(all_rows, i)].cast<py::object>());
        }
    }
    write_sheet(book.add_sheet(plan.name), columns, plan.rows);
}

bool python_writer_wanted() {
#ifdef VELUTIL_WITH_LIBXLSXWRITER
    const char* choice = std::getenv("VELKIT_EXCEL_WRITER");
    return choice != nullptr && std::strcmp(choice, "python") == 0;
#else
    return true;
#endif
}

// Says at debug level which writer is in use, once, and again only when
// that changes.
void announce_writer(bool python) {
    static int announced = -1;
    if (announced == static_cast<int>(python)) return;
    announced = static_cast<int>(python);
#ifdef VELUTIL_WITH_LIBXLSXWRITER
    const char* python_text = "Writing workbooks with the Python XlsxWriter (VELKIT_EXCEL_WRITER is \"python\")";
#else
    const char* python_text = "Writing workbooks with the Python XlsxWriter (built without libxlsxwriter)";
#endif
    velutil_logger().attr("debug")(python ? python_text : "Writing workbooks with libxlsxwriter");
}

std::string workbook_bytes(const std::vector<SheetPlan>& plans, const ColumnTypes& types, const std::string& creator) {
    const bool python = python_writer_wanted();
    announce_writer(python);
#ifdef VELUTIL_WITH_LIBXLSXWRITER
    if (!python) {
        XlsxBook book;
        if (!creator.empty()) book.set_creator(creator);
        for (const auto& plan : plans) write_planned_sheet(book, plan, types);
        py::gil_scoped_release unlocked;  // compressing needs no Python
        return book.finish();
    }
#endif
    std::unique_ptr<BookSink> book = python_book();
    if (!creator.empty()) book->set_creator(creator);
    for (const auto& plan : plans) write_planned_sheet(*book, plan, types);
    return book->finish();
}

void log_failure(py::handle path, const std::string& cause) {
    velutil_logger().attr("error")("Cannot write the workbook '" + py_messages::shown_path(path) + "': " + cause);
}

}  // namespace

bool write_formatted_excel(py::object path, py::object sheets, const std::string& creator) {
    try {
        const std::string target = to_fs(path);
        const ColumnTypes types = ColumnTypes::load();
        const std::vector<SheetPlan> plans = plan_of(sheets, types);
        const std::string bytes = workbook_bytes(plans, types, creator);
        write_file_atomically(target, bytes);
        return true;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        log_failure(path, text_of(error.value()));
    } catch (const FileError& error) {
        log_failure(path, std::string(error.what()) + " (" + std::strerror(error.error_number()) + ")");
    } catch (const std::exception& error) {
        log_failure(path, error.what());
    }
    return false;
}

}  // namespace velutil::excel_tables
