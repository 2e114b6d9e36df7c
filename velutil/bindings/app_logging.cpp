// velutil.app_logging: one standard logger per name, writing one line per
// record to standard error.
#include <pybind11/pybind11.h>

#include <cstdlib>
#include <cstring>

namespace py = pybind11;

namespace {

constexpr const char* kLineFormat = "%(levelname)s %(name)s: %(message)s";

// Makes `error` the exception being handled while it lives, as an except
// block does, so that Handler.handleError finds it in sys.exc_info().
class HandledException {
public:
    explicit HandledException(py::error_already_set& error) {
#if PY_VERSION_HEX >= 0x030B0000
        previous_ = PyErr_GetHandledException();
        PyErr_SetHandledException(error.value().ptr());
#else
        PyErr_GetExcInfo(&previous_type_, &previous_, &previous_trace_);
        // PyErr_SetExcInfo takes over one reference of each.
        PyErr_SetExcInfo(error.type().inc_ref().ptr(), error.value().inc_ref().ptr(), error.trace().inc_ref().ptr());
#endif
    }
    ~HandledException() {
#if PY_VERSION_HEX >= 0x030B0000
        PyErr_SetHandledException(previous_);
        Py_XDECREF(previous_);
#else
        PyErr_SetExcInfo(previous_type_, previous_, previous_trace_);
#endif
    }
    HandledException(const HandledException&) = delete;
    HandledException& operator=(const HandledException&) = delete;

private:
    PyObject* previous_ = nullptr;
#if PY_VERSION_HEX < 0x030B0000
    PyObject* previous_type_ = nullptr;
    PyObject* previous_trace_ = nullptr;
#endif
};

// The exception with the calling frame on its traceback, as if it had been
// raised in a Python emit(): handleError walks that traceback to show where
// the record came from, and an error raised by a C function has none.
py::error_already_set with_caller_frame(py::error_already_set& error) {
    error.restore();
    if (PyFrameObject* frame = PyEval_GetFrame()) PyTraceBack_Here(frame);
    py::error_already_set traced;
    // sys.exc_info() takes the traceback from the exception itself.
    if (!traced.trace().is_none()) PyException_SetTraceback(traced.value().ptr(), traced.trace().ptr());
    return traced;
}

// Writes to whatever sys.stderr is at the time of the record, so that a
// redirected or captured stderr receives the log too. A failure is reported
// the standard way ("--- Logging error ---" through handleError) and never
// reaches the code that logged.
void emit_to_stderr(py::object self, py::object record) {
    try {
        py::object line = self.attr("format")(record);
        py::object stream = py::module_::import("sys").attr("stderr");
        if (stream.is_none()) return;
        stream.attr("write")(py::str(line) + py::str("\n"));
        stream.attr("flush")();
    } catch (py::error_already_set& raised) {
        if (raised.matches(PyExc_RecursionError) || !raised.matches(PyExc_Exception)) throw;
        py::error_already_set error = with_caller_frame(raised);
        HandledException handled(error);
        try {
            self.attr("handleError")(record);
        } catch (py::error_already_set& reporting) {
            if (!reporting.matches(PyExc_Exception)) throw;
        }
    }
}

bool debug_requested() {
    const char* value = std::getenv("VELKIT_DEBUG");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

PYBIND11_MODULE(app_logging, m) {
    m.doc() = "Loggers that write one line per record to standard error.";
    py::module_ logging = py::module_::import("logging");

    py::object type = py::module_::import("builtins").attr("type");
    py::dict members;
    members["__module__"] = "velutil.app_logging";
    members["__doc__"] = "Logging handler that writes each record as one line to sys.stderr.";
    py::object handler_class = type("StderrHandler", py::make_tuple(logging.attr("Handler")), members);
    handler_class.attr("emit") = py::cpp_function(emit_to_stderr, py::name("emit"),
                                                  py::is_method(handler_class), py::arg("record"));
    m.attr("StderrHandler") = handler_class;
    m.attr("LINE_FORMAT") = kLineFormat;

    m.def(
        "lazy_logger",
        [handler_class](const std::string& name) {
            py::module_ logging = py::module_::import("logging");
            py::object logger = logging.attr("getLogger")(name);
            bool has_handler = false;
            for (py::handle handler : logger.attr("handlers")) {
                if (py::isinstance(handler, handler_class)) has_handler = true;
            }
            if (!has_handler) {
                py::object handler = handler_class();
                handler.attr("setFormatter")(logging.attr("Formatter")(kLineFormat));
                logger.attr("addHandler")(handler);
            }
            // The records go to our handler only, never twice through root.
            logger.attr("propagate") = false;
            logger.attr("setLevel")(logging.attr(debug_requested() ? "DEBUG" : "INFO"));
            return logger;
        },
        py::arg("name"),
        "The logger of that name, logging INFO and above to standard error\n"
        "(DEBUG too when VELKIT_DEBUG is \"1\"). Asking twice gives the same\n"
        "logger with one handler.");
}
