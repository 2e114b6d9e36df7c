#include "velkit/frame/velutil_access.hpp"

namespace velkit::helperlib {

Logger::Logger(const std::string& name)
    : logger_(py::module_::import("velutil.app_logging").attr("lazy_logger")(name)) {}

py::str Logger::one_line(const std::string& message) {
    if (message.find_first_of("\r\n") == std::string::npos) return py::str(message);
    std::string line;
    for (char c : message) {
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else {
            line += c;
        }
    }
    return py::str(line);
}

void Logger::call(const char* level, py::handle message) const { logger_.attr(level)(message); }

void Logger::summary(bool warning, const std::string& message) const {
    py::dict extra;
    extra[py::module_::import("velutil.app_logging").attr("SUMMARY_MARK")] = true;
    logger_.attr(warning ? "warning" : "info")(py::str(message), py::arg("extra") = extra);
}

std::string Logger::name() const { return py::str(logger_.attr("name")); }

py::module_ file_mg() { return py::module_::import("velutil.fileMg"); }

py::object generate_json_template(py::handle data, const std::string& file_name) {
    return file_mg().attr("generate_json_template")(data, file_name);
}

py::object load_json_file(py::handle path, const std::vector<std::string>& required_keys) {
    return file_mg().attr("load_json_file")(path, py::arg("required_keys") = required_keys);
}

py::object read_json_object(py::handle path) { return file_mg().attr("read_json_object")(path); }

int check_file_or_dir(py::handle path) { return file_mg().attr("checkFileOrDir")(path).cast<int>(); }

FileList find_files_with_extensions(py::handle folder, const std::vector<std::string>& extensions,
                                    bool recursive) {
    py::object found = file_mg().attr("find_files_with_extensions")(
        py::arg("in_path") = folder, py::arg("extensions") = extensions, py::arg("recursive") = recursive);
    auto pair = found.cast<py::tuple>();
    if (pair.size() != 2) throw std::runtime_error("find_files_with_extensions did not return (paths, names)");
    return FileList{py::list(pair[0]), py::list(pair[1])};
}

std::vector<std::pair<std::string, std::string>> passed_over_entries(py::handle folder,
                                                                     const std::vector<std::string>& extensions,
                                                                     bool recursive) {
    std::vector<std::pair<std::string, std::string>> entries;
    py::object found = file_mg().attr("passed_over_entries")(folder, extensions, recursive);
    for (py::handle entry : found) {
        py::tuple pair = py::reinterpret_borrow<py::tuple>(entry);
        entries.emplace_back(py::module_::import("os").attr("fsencode")(pair[0]).cast<std::string>(),
                             pair[1].cast<std::string>());
    }
    return entries;
}

bool check_file_exists(py::handle path, const std::vector<std::string>& allowed_extensions) {
    return py::bool_(file_mg().attr("check_file_exists")(path, py::arg("allowed_extensions") = allowed_extensions));
}

py::object get_output_file_path(py::handle folder, const std::string& file_name) {
    return file_mg().attr("get_output_file_path")(folder, file_name);
}

namespace {
py::module_ excel_tools() { return py::module_::import("velutil.excelTools"); }
}  // namespace

py::object read_csv_by_cells(py::handle path, py::handle mapping, const py::dict& settings) {
    return excel_tools().attr("read_csv_by_cells")(path, mapping, **settings);
}

py::object read_excel_by_cells(py::handle path, py::handle mapping, const py::dict& settings) {
    return excel_tools().attr("read_excel_by_cells")(path, mapping, **settings);
}

py::object merge_exact_match(py::handle left, py::handle right, const std::vector<std::string>& keys,
                             const std::string& how, const std::pair<std::string, std::string>& suffixes) {
    return excel_tools().attr("merge_exact_match")(py::arg("df_left") = left, py::arg("df_right") = right,
                                                   py::arg("num_keys") = keys, py::arg("how") = how,
                                                   py::arg("suffixes") = py::make_tuple(suffixes.first, suffixes.second));
}

bool write_formatted_excel(py::handle path, py::handle sheets, const std::string& creator) {
    return py::bool_(excel_tools().attr("write_formatted_excel")(path, sheets, creator));
}

py::object get_folder_from_path(py::handle path) { return file_mg().attr("get_folder_from_path")(path); }

py::object generate_output_path(py::handle folder, const std::string& sub_folder) {
    return file_mg().attr("generate_output_path")(folder, sub_folder);
}

py::object first_free_name(py::handle path, py::handle taken) {
    return file_mg().attr("first_free_name")(path, taken);
}

py::object move_file_force(py::handle src, py::handle dest, py::handle backup, bool replace) {
    return file_mg().attr("move_file_force")(py::arg("src") = src, py::arg("dest") = dest,
                                              py::arg("backup") = backup, py::arg("replace") = replace);
}

std::pair<bool, py::object> parse_file_name(py::handle file_name, py::handle pattern, py::handle prefix) {
    py::object result = py::module_::import("velutil.parseTools")
                            .attr("parseFn_pattern")(file_name, pattern, py::arg("fn_prefix") = prefix);
    auto pair = result.cast<py::tuple>();
    return {py::bool_(pair[0]), pair[1]};
}

}  // namespace velkit::helperlib
