#include "velkit/frame/text.hpp"

#include "py_messages.hpp"
#include "velkit/frame/tried_path.hpp"

#include "pyfs.hpp"
#include "safe_files.hpp"

namespace velkit::frame {

std::string shown_bytes(const std::string& bytes) {
    py::object text = py::reinterpret_steal<py::object>(
        PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "backslashreplace"));
    if (!text) {
        PyErr_Clear();
        return "?";
    }
    return text.cast<std::string>();
}

std::string shown(py::handle value) {
    try {
        if (PyBytes_Check(value.ptr())) return shown_bytes(std::string(py::reinterpret_borrow<py::bytes>(value)));
        py::object text;
        if (PyUnicode_Check(value.ptr())) {
            text = py::reinterpret_borrow<py::object>(value);
        } else if (py::isinstance(value, py::module_::import("os").attr("PathLike"))) {
            return shown_bytes(fs_path(value));
        } else {
            text = py::str(value);
        }
        // Lone surrogates come back as the bytes they stand for (file names)
        // or as the code points themselves; either way, escaped.
        py::object bytes = text.attr("encode")("utf-8", "surrogateescape");
        return shown_bytes(std::string(py::reinterpret_borrow<py::bytes>(bytes)));
    } catch (py::error_already_set&) {
        try {
            py::object bytes = py::str(value).attr("encode")("utf-8", "backslashreplace");
            return std::string(py::reinterpret_borrow<py::bytes>(bytes));
        } catch (py::error_already_set&) {
            return "<unprintable " + std::string(Py_TYPE(value.ptr())->tp_name) + ">";
        }
    }
}

// velutil's own conversions, so that the tools and the library agree.
std::string fs_path(py::handle path) { return ::velutil::py_fs::to_fs(path); }

py::str fs_text(const std::string& path) { return ::velutil::py_fs::to_text(path); }

void write_rebuildable_output(py::handle path, py::handle content) {
    std::string fs = fs_path(path);
    py::buffer_info bytes = py::reinterpret_borrow<py::buffer>(content).request();
    ::velutil::write_file_atomically(fs, static_cast<const char*>(bytes.ptr),
                                     static_cast<size_t>(bytes.size * bytes.itemsize),
                                     ::velutil::Durability::kLeaveToSystem);
}

std::string shown_tried(py::handle path) { return ::velutil::py_messages::shown_tried_path(path); }

}  // namespace velkit::frame
