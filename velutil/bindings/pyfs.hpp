// Conversions between the interpreter's path objects and the file-system
// byte strings the core works on, and the OSError mapping of FileError.
#pragma once
#include <pybind11/pybind11.h>

#include <cstring>
#include <string>

#include "file_error.hpp"

namespace velutil::py_fs {

namespace py = pybind11;

// str, bytes or any os.PathLike, encoded as the file system expects.
inline std::string to_fs(py::handle path) {
    py::object fspath = py::reinterpret_steal<py::object>(PyOS_FSPath(path.ptr()));
    if (!fspath) throw py::error_already_set();
    if (PyBytes_Check(fspath.ptr())) return std::string(py::reinterpret_borrow<py::bytes>(fspath));
    py::object encoded = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(fspath.ptr()));
    if (!encoded) throw py::error_already_set();
    return std::string(py::reinterpret_borrow<py::bytes>(encoded));
}

// File-system bytes back to str; undecodable bytes survive as surrogates.
inline py::str to_text(const std::string& path) {
    PyObject* text = PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size()));
    if (!text) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(text);
}

// FileError becomes OSError(errno, text, path), so that callers can catch
// FileNotFoundError, PermissionError and friends.
inline void register_file_error() {
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) std::rethrow_exception(pending);
        } catch (const FileError& error) {
            // what_failed may name a second path, in file-system bytes too.
            py::object args = py::make_tuple(
                error.error_number(),
                to_text(error.what_failed() + " (" + std::strerror(error.error_number()) + ")"),
                to_text(error.path()));
            PyErr_SetObject(PyExc_OSError, args.ptr());
        }
    });
}

}  // namespace velutil::py_fs
