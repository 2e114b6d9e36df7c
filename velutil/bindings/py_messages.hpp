// Small pieces every binding uses for its messages: the library's logger,
// a path as it appears in a message, and ValueError with a text.
#pragma once
#include <pybind11/pybind11.h>

#include <string>

namespace velutil::py_messages {

namespace py = pybind11;

// The "velutil" logger, created on first use.
inline py::object velutil_logger() {
    return py::module_::import("velutil.app_logging").attr("lazy_logger")("velutil");
}

// str(value), for values of any type.
inline std::string text_of(py::handle value) { return py::str(value); }

// A path as a message shows it, unquoted: bytes that are not UTF-8 appear
// as "\xff", so that any file name can be named without an error.
inline std::string shown_path(py::handle path) {
    py::module_ os = py::module_::import("os");
    try {
        py::object raw = os.attr("fsencode")(path);
        return py::str(raw.attr("decode")("utf-8", "backslashreplace"));
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        return py::str(py::repr(path));
    }
}

// The same in single quotes ("'bad\xffname.xls'"), whether the path came
// as text or as bytes.
inline std::string quoted(py::handle path) { return "'" + shown_path(path) + "'"; }

// A path that was looked for and not found: as given, and, when it is
// relative, the absolute path it stood for ("in (looked for /home/ann/in,
// relative to the current folder)").
inline std::string shown_tried_path(py::handle path) {
    std::string shown = shown_path(path);
    try {
        py::module_ os_path = py::module_::import("os.path");
        if (shown.empty() || py::bool_(os_path.attr("isabs")(path))) return shown;
        return shown + " (looked for " + shown_path(os_path.attr("abspath")(path)) + ", relative to the current folder)";
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        return shown;
    }
}

[[noreturn]] inline void raise_value_error(const std::string& message) {
    py::set_error(PyExc_ValueError, message.c_str());
    throw py::error_already_set();
}

}  // namespace velutil::py_messages
