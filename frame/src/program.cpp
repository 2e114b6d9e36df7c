#include <cstdlib>
#include <cstring>

#include "velkit/frame/command.hpp"
#include "velkit/frame/console.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::frame {

namespace {

// The one line an error that no step caught is reported with.
std::string error_text(py::handle error) {
    std::string text = shown(error);
    if (py::isinstance(error, py::module_::import("builtins").attr("KeyError"))) return "missing key " + text;
    if (text.empty()) return py::str(py::type::of(error).attr("__name__"));
    return text;
}

}  // namespace

bool debug_requested() {
    if (current_verbosity() == Verbosity::verbose) return true;
    const char* value = std::getenv("VELKIT_DEBUG");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void run_as_program(py::handle command, const std::string& prog_name) {
    try {
        if (prog_name.empty()) {
            command.attr("main")();
        } else {
            command.attr("main")(py::arg("prog_name") = prog_name);
        }
    } catch (py::error_already_set& error) {
        // SystemExit (the tools' exit statuses) and interrupts pass on.
        if (!error.matches(PyExc_Exception)) throw;
        py::module_ sys = py::module_::import("sys");
        if (debug_requested()) {
            py::module_::import("traceback").attr("print_exception")(error.value());
        }
        py::object stderr_stream = sys.attr("stderr");
        if (!stderr_stream.is_none()) {
            stderr_stream.attr("write")(py::str("Error: " + error_text(error.value()) + "\n"));
            stderr_stream.attr("flush")();
        }
        py::set_error(PyExc_SystemExit, py::int_(1));
        throw py::error_already_set();
    }
}

}  // namespace velkit::frame
