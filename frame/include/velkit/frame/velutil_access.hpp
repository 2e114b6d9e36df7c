// The C++ side of velutil: typed calls into the helper library, so that the
// tools never spell out attribute lookups themselves.
//
// Contract: every call needs the GIL; errors raised by velutil arrive as
// py::error_already_set and are the caller's to handle or pass on.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>
#include <utility>
#include <vector>

namespace velkit::helperlib {

// A module logger (velutil.app_logging.lazy_logger). Messages may be text
// or any object. Every text message is one line: line breaks in it (a
// quoted value, a file name) are written as \n and \r.
class Logger {
public:
    explicit Logger(const std::string& name);

    void debug(py::handle message) const { call("debug", message); }
    void info(const std::string& message) const { call("info", one_line(message)); }
    void warning(const std::string& message) const { call("warning", one_line(message)); }
    void error(const std::string& message) const { call("error", one_line(message)); }
    void exception(const std::string& message) const { call("exception", one_line(message)); }
    // A run's closing summary: shown also when only warnings are wanted.
    void summary(bool warning, const std::string& message) const;
    std::string name() const;

    const py::object& object() const { return logger_; }

private:
    static py::str one_line(const std::string& message);
    void call(const char* level, py::handle message) const;
    py::object logger_;
};

py::module_ file_mg();

// fileMg calls.
py::object generate_json_template(py::handle data, const std::string& file_name);
py::object load_json_file(py::handle path, const std::vector<std::string>& required_keys);
py::object read_json_object(py::handle path);
int check_file_or_dir(py::handle path);

struct FileList {
    py::list paths;
    py::list names;
};
FileList find_files_with_extensions(py::handle folder, const std::vector<std::string>& extensions,
                                    bool recursive = false);

// The entries of `folder` with one of the extensions that are no regular
// files, as (name, kind): find_files_with_extensions leaves them alone.
std::vector<std::pair<std::string, std::string>> passed_over_entries(py::handle folder,
                                                                     const std::vector<std::string>& extensions,
                                                                     bool recursive = false);

// True when `path` is a regular file with one of the extensions.
bool check_file_exists(py::handle path, const std::vector<std::string>& allowed_extensions);

// The file's path inside `folder` (created when missing).
py::object get_output_file_path(py::handle folder, const std::string& file_name);

// excelTools calls: tables by cell reference, the exact-match join and
// formatted workbooks.
// `settings` are passed as keywords (delimiter, encoding, decimal;
// sheet_name).
py::object read_csv_by_cells(py::handle path, py::handle mapping, const py::dict& settings = py::dict());
py::object read_excel_by_cells(py::handle path, py::handle mapping, const py::dict& settings = py::dict());
py::object merge_exact_match(py::handle left, py::handle right, const std::vector<std::string>& keys,
                             const std::string& how, const std::pair<std::string, std::string>& suffixes);
bool write_formatted_excel(py::handle path, py::handle sheets, const std::string& creator = "");
// fileMg.get_folder_from_path: the folder itself, or the folder of a file.
py::object get_folder_from_path(py::handle path);

// fileMg.generate_output_path: the path of `sub_folder` in `folder`;
// nothing is created.
py::object generate_output_path(py::handle folder, const std::string& sub_folder);

// fileMg.first_free_name: `path`, or the first free "stem_N.ext" after it;
// the paths in `taken` (any iterable, or None) count as taken too.
py::object first_free_name(py::handle path, py::handle taken = py::none());

// fileMg.move_file_force: keeps a backup of `src`, moves it to `dest` (or,
// when `replace` is false, to the first free name after it) and returns the
// path moved to. Raises OSError with `src` in place.
py::object move_file_force(py::handle src, py::handle dest, py::handle backup, bool replace = true);

// parseTools.parseFn_pattern: (matched, caption).
std::pair<bool, py::object> parse_file_name(py::handle file_name, py::handle pattern, py::handle prefix);

}  // namespace velkit::helperlib
