// velutil.fileMg: JSON templates and configuration files, folder checks,
// file search and moves that keep a backup.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "file_search.hpp"
#include "paths.hpp"
#include "py_messages.hpp"
#include "pyfs.hpp"
#include "safe_files.hpp"

namespace py = pybind11;
using velutil::py_fs::to_fs;
using velutil::py_fs::to_text;
using velutil::py_messages::quoted;
using velutil::py_messages::shown_path;
using velutil::py_messages::shown_tried_path;
using velutil::py_messages::velutil_logger;

namespace {

// One extension or a list of them.
std::vector<std::string> extension_list(py::handle extensions) {
    if (extensions.is_none()) return {};
    if (py::isinstance<py::str>(extensions)) return {extensions.cast<std::string>()};
    return extensions.cast<std::vector<std::string>>();
}

py::str generate_json_template(py::object data, py::object file_name) {
    py::module_ json = py::module_::import("json");
    py::str text = json.attr("dumps")(data, py::arg("indent") = 4, py::arg("ensure_ascii") = false);
    std::string utf8 = std::string(text) + "\n";
    std::string cwd = to_fs(py::module_::import("os").attr("getcwd")());
    std::string path = velutil::join_path(cwd, to_fs(file_name));
    velutil::write_file_atomically(path, utf8);
    return to_text(path);
}

// Raises ValueError with a message that names the file and the problem.
py::object read_json_object(py::object path) {
    std::string raw;
    try {
        raw = velutil::read_file(to_fs(path));
    } catch (const velutil::FileError& error) {
        throw py::value_error("Cannot read " + quoted(path) + ": " + std::strerror(error.error_number()) + ".");
    }
    py::object text;
    try {
        text = py::bytes(raw).attr("decode")("utf-8");
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_UnicodeDecodeError)) throw;
        auto position = error.value().attr("start").cast<size_t>();
        throw py::value_error(quoted(path) + " is not UTF-8 text (byte " + std::to_string(position) +
                              " cannot be decoded).");
    }
    // A byte-order mark, as some editors write it, is not part of the JSON.
    if (raw.rfind("\xEF\xBB\xBF", 0) == 0) text = text[py::slice(1, std::nullopt, std::nullopt)];
    py::module_ json = py::module_::import("json");
    py::object data;
    try {
        data = json.attr("loads")(text);
    } catch (py::error_already_set& error) {
        if (!error.matches(json.attr("JSONDecodeError"))) throw;
        py::object e = error.value();
        throw py::value_error(quoted(path) + " is not valid JSON: " + std::string(py::str(e.attr("msg"))) +
                              " at line " + std::string(py::str(e.attr("lineno"))) + ", column " +
                              std::string(py::str(e.attr("colno"))) + ".");
    }
    if (!py::isinstance<py::dict>(data)) {
        throw py::value_error(quoted(path) + " must hold a JSON object at the top level, not " +
                              std::string(py::str(py::type::of(data).attr("__name__"))) + ".");
    }
    return data;
}

py::object load_json_file(py::object path, py::object required_keys) {
    py::object data;
    try {
        data = read_json_object(path);
    } catch (py::value_error& error) {
        velutil_logger().attr("error")(error.what());
        return py::none();
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ValueError)) throw;
        velutil_logger().attr("error")(py::str(error.value()));
        return py::none();
    }
    py::list values;
    std::vector<std::string> keys = extension_list(required_keys);
    for (const auto& key : keys) {
        if (!data.contains(py::str(key))) {
            velutil_logger().attr("error")(quoted(path) + " lacks the required key '" + key + "'.");
            return py::none();
        }
        values.append(data[py::str(key)]);
    }
    values.append(data);
    return py::tuple(values);
}

py::tuple find_files_with_extensions(py::object in_path, py::object extensions, bool recursive) {
    py::list paths;
    py::list names;
    std::string folder = to_fs(in_path);
    if (velutil::check_file_or_dir(folder) != velutil::kFolderExists) {
        velutil_logger().attr("error")("Folder not found: " + shown_tried_path(in_path));
        return py::make_tuple(paths, names);
    }
    for (const auto& found : velutil::find_files(folder, extension_list(extensions), recursive)) {
        paths.append(to_text(found.path));
        names.append(to_text(found.name));
    }
    return py::make_tuple(paths, names);
}

bool check_file_exists(py::object path, py::object allowed_extensions) {
    std::string file = to_fs(path);
    if (!velutil::is_regular_file(file)) return false;
    if (allowed_extensions.is_none()) return true;
    return velutil::has_extension(velutil::base_name(file), extension_list(allowed_extensions));
}

py::str get_output_file_path(py::object folder, py::object file_name) {
    std::string dir = to_fs(folder);
    velutil::make_dirs(dir);
    return to_text(velutil::join_path(dir, to_fs(file_name)));
}

py::str get_folder_from_path(py::object path) {
    std::string given = to_fs(path);
    if (velutil::check_file_or_dir(given) == velutil::kNotAFolder) {
        std::string parent = velutil::dir_name(given);
        return to_text(parent.empty() ? "." : parent);
    }
    return to_text(given);
}

py::str generate_output_path(py::object folder, py::object sub_folder) {
    return to_text(velutil::join_path(to_fs(folder), to_fs(sub_folder)));
}

py::str move_file_force(py::object src, py::object dest, py::object backup, bool replace) {
    velutil::MoveOutcome outcome =
        velutil::move_with_backup(to_fs(src), to_fs(dest), to_fs(backup),
                                  replace ? velutil::AtDestination::kReplace : velutil::AtDestination::kUseFirstFreeName);
    return to_text(outcome.dest);
}

py::str first_free_name(py::object path, py::object taken) {
    std::string free = velutil::first_free_name(to_fs(path), [&](const std::string& candidate) {
        struct stat info {};
        if (::lstat(candidate.c_str(), &info) == 0) return true;
        if (taken.is_none()) return false;
        int found = PySequence_Contains(taken.ptr(), to_text(candidate).ptr());
        if (found < 0) throw py::error_already_set();
        return found == 1;
    });
    return to_text(free);
}

}  // namespace

PYBIND11_MODULE(fileMg, m) {
    m.doc() = "JSON files, folder checks, file search and safe moves.";
    velutil::py_fs::register_file_error();

    m.def("generate_json_template", &generate_json_template, py::arg("data"), py::arg("file_name"),
          "Write `data` as UTF-8 JSON (4-space indent, non-ASCII as is) into the\n"
          "current directory, atomically; return the path written.");
    m.def("read_json_object", &read_json_object, py::arg("path"),
          "The JSON object in a UTF-8 file; ValueError naming the file and the\n"
          "problem otherwise.");
    m.def("load_json_file", &load_json_file, py::arg("path"), py::arg("required_keys") = py::none(),
          "(value of each required key..., whole object), or None after logging\n"
          "why the file cannot be used.");
    m.def(
        "checkFileOrDir", [](py::object path) { return static_cast<int>(velutil::check_file_or_dir(to_fs(path))); },
        py::arg("path"), "0: an existing folder, 1: nothing there, 2: not a folder.");
    m.def("find_files_with_extensions", &find_files_with_extensions, py::arg("in_path"),
          py::arg("extensions"), py::arg("recursive") = false,
          "(paths, names) of the regular files with one of the extensions, in\n"
          "name order; hidden files and \"~$\" lock files are left out.");
    m.def("check_file_exists", &check_file_exists, py::arg("path"), py::arg("allowed_extensions") = py::none(),
          "True when `path` is a regular file with one of the extensions.");
    m.def("get_output_file_path", &get_output_file_path, py::arg("folder"), py::arg("file_name"),
          "The file's path in `folder`; the folder is created when missing.");
    m.def("get_folder_from_path", &get_folder_from_path, py::arg("path"),
          "The folder itself, or the folder holding a file.");
    m.def("generate_output_path", &generate_output_path, py::arg("folder"), py::arg("sub_folder"),
          "The sub-folder's path; nothing is created.");
    m.def("move_file_force", &move_file_force, py::arg("src"), py::arg("dest"), py::arg("backup"),
          py::arg("replace") = true,
          "Copy `src` to `backup` (a free name when taken), then move it to\n"
          "`dest`, replacing a file there; with replace=False to the first free\n"
          "name after `dest` instead, never replacing a file. Returns the path\n"
          "moved to. Raises OSError with `src` in place. A move within one file\n"
          "system is made durable by flush_folders(), at the latest at exit.");
    m.def("flush_folders", &velutil::flush_pending_folders,
          "Flush the folders that moves renamed files into since the last call,\n"
          "so that the new names survive a power cut.");
    // Also when the interpreter ends, while the module is still whole.
    py::module_::import("atexit").attr("register")(m.attr("flush_folders"));
    m.def("first_free_name", &first_free_name, py::arg("path"), py::arg("taken") = py::none(),
          "`path` when it is free, else the first free of \"stem_2.ext\",\n"
          "\"stem_3.ext\", ...; the paths in `taken` count as taken too.");
}
