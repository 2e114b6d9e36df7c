#include "rename_run.hpp"

#include <unistd.h>

#include <string>
#include <vector>

#include "cell_reading.hpp"
#include "file_name.hpp"
#include "options_from_config.hpp"
#include "output_checks.hpp"
#include "state.hpp"
#include "text_kit.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/progress.hpp"
#include "velkit/frame/text.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::receipt_sort {

namespace {

// Spreadsheet formats a user may expect to be sorted too.
const std::vector<std::string> kOtherWorkbookExtensions = {".xlsm", ".xltx", ".xltm", ".xlsb", ".xls", ".ods"};

// Text crosses into the C++ helpers as UTF-8; the bytes of file names that
// are not UTF-8 on disk (surrogate escapes) pass through as those bytes,
// which the helpers keep as characters of their own and never cut apart.
// Any other lone surrogate is carried in its three-byte form.
std::string to_utf8(py::handle text) {
    py::str str = py::reinterpret_borrow<py::str>(text);
    try {
        return py::bytes(str.attr("encode")("utf-8", "surrogateescape"));
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_UnicodeEncodeError)) throw;
        return py::bytes(str.attr("encode")("utf-8", "surrogatepass"));
    }
}
py::str from_utf8(const std::string& text) { return py::bytes(text).attr("decode")("utf-8", "surrogateescape"); }

py::module_ os_path() { return py::module_::import("os.path"); }

std::string base_name_shown(py::handle path) { return frame::shown(os_path().attr("basename")(path)); }

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

std::string workbooks(size_t count) { return std::to_string(count) + (count == 1 ? " workbook" : " workbooks"); }

// "Cell P56 holds an error value (#N/A)", or "" when no cell does.
std::string error_cells_text(const CellValues& read, const std::vector<std::string>& references) {
    std::vector<std::string> cells, errors;
    for (size_t i = 0; i < references.size(); ++i) {
        if (read.errors[i].empty()) continue;
        cells.push_back(references[i]);
        errors.push_back(read.errors[i]);
    }
    if (cells.empty()) return "";
    if (cells.size() == 1) return "Cell " + cells[0] + " holds an error value (" + errors[0] + ")";
    return "Cells " + cells[0] + " and " + cells[1] + " hold error values (" + errors[0] + ", " + errors[1] + ")";
}

// The lock file an office program keeps beside a workbook it has open
// ("~$Name.xlsx", "~$me.xlsx" for long names, ".~lock.Name.xlsx#"), or "".
std::string lock_file_beside(py::handle path) {
    py::module_ path_ops = os_path();
    py::object folder = path_ops.attr("dirname")(path);
    py::str name = py::reinterpret_borrow<py::str>(path_ops.attr("basename")(path));
    std::vector<py::object> candidates = {py::str("~$") + name, py::str(".~lock.") + name + py::str("#")};
    if (py::len(name) > 2) candidates.push_back(py::str("~$") + name[py::slice(2, py::len(name), 1)]);
    for (const auto& candidate : candidates) {
        if (py::bool_(path_ops.attr("lexists")(path_ops.attr("join")(folder, candidate)))) return frame::shown(candidate);
    }
    return "";
}

// Why the name or amount is missing: which cell, on which sheet, and
// whether a formula stands there whose result was not saved.
std::string missing_cells_text(const CellValues& read, const std::vector<std::string>& references) {
    static const char* const kRoles[] = {"name", "amount"};
    std::vector<std::string> empty, unsaved;
    for (size_t i = 0; i < references.size() && i < 2; ++i) {
        if (!read.values[i].is_none()) continue;
        std::string cell = std::string("the ") + kRoles[i] + " cell " + references[i];
        (i < read.unsaved_formulas.size() && read.unsaved_formulas[i] ? unsaved : empty).push_back(cell);
    }
    std::string where = " on sheet '" + read.sheet + "'";
    std::string text;
    if (!empty.empty()) {
        text = empty.size() == 1 ? empty[0] + where + " is empty" : empty[0] + " and " + empty[1] + where + " are empty";
    }
    if (!unsaved.empty()) {
        if (!text.empty()) text += "; ";
        text += (unsaved.size() == 1 ? unsaved[0] + where + " holds a formula"
                                     : unsaved[0] + " and " + unsaved[1] + where + " hold formulas") +
                " saved without a result (open the workbook in a spreadsheet program and save it)";
    }
    return text;
}

// Other spreadsheets in the folder are named, so that nobody waits for them.
void log_other_workbooks(py::handle input_path) {
    py::list names = helperlib::find_files_with_extensions(input_path, kOtherWorkbookExtensions).names;
    if (names.empty()) return;
    std::vector<std::string> shown;
    for (py::handle name : names) shown.push_back(frame::shown(name));
    state().log.info("Not processed (only .xlsx workbooks are sorted): " + frame::name_list(shown));
}

// The first free name in the results folder for the workbook's new name,
// cut further when the "_2", "_3", ... of a taken name makes it too long.
py::object free_destination(py::handle output_folder, const std::string& safe_name, const std::string& safe_amount,
                            const std::string& code, py::handle planned) {
    size_t most = kMostFileNameBytes;
    for (;;) {
        py::str new_name = from_utf8(fitted_file_name(safe_name, safe_amount, code, most));
        py::object free = helperlib::first_free_name(os_path().attr("join")(output_folder, new_name), planned);
        size_t length = frame::fs_path(os_path().attr("basename")(free)).size();
        if (length <= kMostFileNameBytes || most <= new_file_name("", "", code).size()) return free;
        most -= length - kMostFileNameBytes;
    }
}

// A failed move leaves the workbook where it was; the copy made for its
// backup is then removed, so that a retry makes no second one.
void remove_backup_of_failed_move(py::handle src, py::handle backup) {
    py::module_ path_ops = os_path();
    if (!py::bool_(path_ops.attr("lexists")(src)) || !py::bool_(path_ops.attr("lexists")(backup))) return;
    if (::unlink(frame::fs_path(backup).c_str()) != 0) {
        state().log.error("Cannot remove the backup copy " + frame::shown(backup) + " of a failed move");
    }
}

class RenameRun {
public:
    explicit RenameRun(const RenameOptions& options)
        : options_(options), input_path_(frame::fs_text(options.input_path)) {}

    frame::RunTally run();

private:
    void handle(py::handle path);
    // Why nothing could be moved to `dest` (or its backup kept), or "".
    std::string known_problem(py::handle dest, py::handle backup) const;

    const RenameOptions& options_;
    py::str input_path_;
    py::object output_folder_, backup_folder_;
    std::string output_problem_, backup_problem_;
    py::list cells_;
    py::set planned_;  // names a dry run has handed out: a real run would have created them
    frame::RunTally tally_;
    size_t open_elsewhere_ = 0;  // skipped: open in another program
};

frame::RunTally RenameRun::run() {
    const helperlib::Logger& log = state().log;
    if (!state().has_openpyxl) {
        log.error(frame::missing_packages_text("package", "openpyxl", "excel"));
        tally_.run_failed();
        return tally_;
    }
    py::object target_dir = helperlib::get_folder_from_path(input_path_);
    output_folder_ = helperlib::generate_output_path(target_dir, "results");
    backup_folder_ = helperlib::generate_output_path(target_dir, "backup");
    bool folder_found = helperlib::check_file_or_dir(input_path_) == 0;
    py::list files = helperlib::find_files_with_extensions(input_path_, {".xlsx"}).paths;
    log.info("Starting expense processing in: " + frame::shown(input_path_));
    if (!folder_found) {
        tally_.run_failed();
        return tally_;
    }
    log_other_workbooks(input_path_);
    frame::log_passed_over(log, helperlib::passed_over_entries(input_path_, {".xlsx"}));

    std::string output_problem = folder_problem(frame::fs_path(output_folder_));
    if (!output_problem.empty()) {
        output_problem_ = "cannot use the results folder " + frame::shown(output_folder_) + ": " + output_problem;
    }
    std::string backup_problem = folder_problem(frame::fs_path(backup_folder_));
    if (!backup_problem.empty()) {
        backup_problem_ = "cannot use the backup folder " + frame::shown(backup_folder_) + ": " + backup_problem;
    }
    cells_.append(py::str(options_.name_cell));
    cells_.append(py::str(options_.amount_cell));
    {
        frame::ItemProgress progress(py::len(files));
        for (py::handle path : files) {
            progress.next(frame::shown(os_path().attr("basename")(path)));
            handle(path);
        }
    }

    std::string skip_reason = open_elsewhere_ == 0                        ? "no name or amount"
                              : open_elsewhere_ == tally_.skipped_count() ? "open in another program"
                                                                          : "no name or amount, or open in another program";
    frame::log_summary(log, tally_, (options_.dry_run ? "Would move " : "Moved ") + workbooks(tally_.done_count()),
                       skip_reason);
    return tally_;
}

std::string RenameRun::known_problem(py::handle dest, py::handle backup) const {
    if (!output_problem_.empty()) return output_problem_;
    if (!backup_problem_.empty()) return backup_problem_;
    std::string problem = path_length_problem(frame::fs_path(dest));
    if (!problem.empty()) return "cannot move it to " + frame::shown(dest) + ": " + problem;
    problem = path_length_problem(frame::fs_path(backup));
    if (!problem.empty()) return "cannot keep its backup at " + frame::shown(backup) + ": " + problem;
    return "";
}

void RenameRun::handle(py::handle path) {
    const helperlib::Logger& log = state().log;
    py::object old_name = os_path().attr("basename")(path);
    std::string shown_name = frame::shown(old_name);
    frame::ItemScope item(shown_name);
    std::string skip_prefix = "---> Skipping " + shown_name + ": ";

    std::string lock_file = lock_file_beside(path);
    if (!lock_file.empty()) {
        // Moving it now would let the program save to the old name later.
        log.warning(skip_prefix + "is open in another program (" + lock_file +
                    " is beside it); it stays where it is until it is closed");
        tally_.skipped();
        ++open_elsewhere_;
        return;
    }
    CellValues read;
    try {
        read = read_cells(path, cells_);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        log.error("Error reading excel " + frame::shown(path) + ": " + read_failure_reason(path, error));
        log.error(skip_prefix + "Cannot find Name or Amount in " + options_.name_cell + " or " + options_.amount_cell);
        tally_.failed(shown_name);
        return;
    }
    std::string error_cells = error_cells_text(read, {options_.name_cell, options_.amount_cell});
    if (!error_cells.empty()) {
        log.error(skip_prefix + error_cells);
        tally_.skipped();
        return;
    }
    if (read.values[0].is_none() || read.values[1].is_none()) {
        log.error(skip_prefix + "Cannot find Name or Amount in " + options_.name_cell + " or " + options_.amount_cell +
                  ": " + missing_cells_text(read, {options_.name_cell, options_.amount_cell}));
        tally_.skipped();
        return;
    }

    std::string code = date_code(local_time_now());
    py::object dest = free_destination(output_folder_, to_utf8(sanitize_filename(read.values[0])),
                                       to_utf8(sanitize_filename(read.values[1])), code,
                                       options_.dry_run ? py::handle(planned_) : py::handle(py::none()));
    py::object backup = os_path().attr("join")(backup_folder_, old_name);
    std::string new_name = base_name_shown(dest);
    std::string problem = known_problem(dest, backup);
    if (options_.dry_run) {
        if (!problem.empty()) {
            log.error("[Dry-Run] Would fail to move " + shown_name + ": " + problem);
            tally_.failed(shown_name);
            return;
        }
        planned_.add(dest);
        log.info("[Dry-Run] Would move: " + shown_name + " -> " + new_name);
        tally_.done();
        return;
    }
    if (!problem.empty()) {
        log.error("Failed to move " + frame::shown(path) + ": " + problem);
        tally_.failed(shown_name);
        return;
    }
    log.info("Processing: " + shown_name + " -> " + new_name);
    // The name the backup copy will get, so that a failed move can take it back.
    py::object backup_copy = helperlib::first_free_name(backup);
    try {
        // A name already taken in the results folder is never replaced:
        // the workbook gets the first free "_2", "_3", ... name instead.
        py::object used = helperlib::move_file_force(path, dest, backup, /*replace=*/false);
        if (!used.equal(dest)) {
            log.info("---> " + new_name + " was taken meanwhile; moved as " + base_name_shown(used));
        }
        tally_.done();
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        log.error("Failed to move " + frame::shown(path) + ": " + frame::shown(error.value()));
        remove_backup_of_failed_move(path, backup_copy);
        tally_.failed(shown_name);
    }
}

}  // namespace

py::str sanitize_filename(py::handle name) {
    if (name.is_none()) return py::str("Unknown");
    if (py::isinstance<py::float_>(name)) return py::str(velutil::number_text(name.cast<double>(), 15));
    return from_utf8(sanitize_name_part(to_utf8(py::str(name))));
}

frame::RunTally run_rename(const RenameOptions& options) { return RenameRun(options).run(); }

void register_run(py::module_& m) {
    m.def("get_excel_cell_value", &get_excel_cell_value, py::arg("file_path"), py::arg("cell_locations"),
          "The values of the cells (\"D6\", ...) on the workbook's active sheet, in\n"
          "order; None for an empty cell. A workbook that cannot be read gives\n"
          "None for every cell and an error record.");
    m.def("sanitize_filename", &sanitize_filename, py::arg("name"),
          "The text form of `name` fit for a file name: without \\ / * ? : \" < > |,\n"
          "control characters, blanks at both ends, leading and trailing dots;\n"
          "floats with at most 15 significant digits; \"Unknown\" for None.");
    m.def(
        "process_expense_rename",
        [](py::dict config_dict) {
            RenameOptions options;
            try {
                options = options_from_config(config_dict);
            } catch (const frame::ConfigError& error) {
                throw py::type_error(error.what());
            }
            run_rename(options);
        },
        py::arg("config_dict"),
        "Moves every .xlsx workbook of config.path into its \"results\" folder as\n"
        "<name>_<amount>_<MMDD_HHMMSScc>.xlsx, keeping the old file in \"backup\";\n"
        "with config.dry_run only logs the planned moves.");
}

}  // namespace velkit::receipt_sort
