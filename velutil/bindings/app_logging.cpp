// velutil.app_logging: one standard logger per name, writing one line per
// record to standard error.
#include <pybind11/pybind11.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace py = pybind11;

namespace {

constexpr const char* kLineFormat = "%(levelname)s %(name)s: %(message)s";

// Records carrying this attribute (a run's closing summary) are shown even
// when only warnings and errors are wanted.
constexpr const char* kSummaryMark = "velkit_summary";

// Sets the cursor back to the start of the line and clears it.
constexpr const char* kClearLine = "\r\x1b[K";

enum class Verbosity { quiet, normal, verbose };

// Process-wide output settings; the GIL guards them.
struct Console {
    Verbosity verbosity = Verbosity::normal;
    std::string status;  // the line at the bottom of a terminal, "" when none
};

Console& console() {
    static Console state;
    return state;
}

bool debug_requested() {
    const char* value = std::getenv("VELKIT_DEBUG");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

const char* level_name() {
    return console().verbosity == Verbosity::verbose || debug_requested() ? "DEBUG" : "INFO";
}

bool shown_when_quiet(py::handle record) {
    py::module_ logging = py::module_::import("logging");
    if (record.attr("levelno").cast<int>() >= logging.attr("WARNING").cast<int>()) return true;
    return py::bool_(py::getattr(record, kSummaryMark, py::bool_(false)));
}

void write_stderr(const std::string& text) {
    py::object stream = py::module_::import("sys").attr("stderr");
    if (stream.is_none()) return;
    stream.attr("write")(py::str(text));
    stream.attr("flush")();
}

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
        if (console().verbosity == Verbosity::quiet && !shown_when_quiet(record)) return;
        py::object line = self.attr("format")(record);
        py::object stream = py::module_::import("sys").attr("stderr");
        if (stream.is_none()) return;
        // A status line at the bottom of the terminal makes room for the
        // record and comes back below it.
        const std::string& status = console().status;
        if (!status.empty()) stream.attr("write")(kClearLine);
        stream.attr("write")(py::str(line) + py::str("\n"));
        if (!status.empty()) stream.attr("write")(py::str(status));
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
            logger.attr("setLevel")(logging.attr(level_name()));
            return logger;
        },
        py::arg("name"),
        "The logger of that name, logging INFO and above to standard error\n"
        "(DEBUG too when VELKIT_DEBUG is \"1\"). Asking twice gives the same\n"
        "logger with one handler.");

    m.attr("SUMMARY_MARK") = kSummaryMark;
    m.def(
        "set_verbosity",
        [handler_class](const std::string& name) {
            if (name == "quiet") {
                console().verbosity = Verbosity::quiet;
            } else if (name == "verbose") {
                console().verbosity = Verbosity::verbose;
            } else if (name == "normal") {
                console().verbosity = Verbosity::normal;
            } else {
                throw py::value_error("verbosity must be 'quiet', 'normal' or 'verbose' (got '" + name + "')");
            }
            // Loggers handed out before follow the new setting too.
            py::module_ logging = py::module_::import("logging");
            for (auto item : logging.attr("Logger").attr("manager").attr("loggerDict").attr("values")()) {
                if (!py::hasattr(item, "handlers")) continue;
                for (py::handle handler : item.attr("handlers")) {
                    if (py::isinstance(handler, handler_class)) item.attr("setLevel")(logging.attr(level_name()));
                }
            }
        },
        py::arg("name"),
        "'quiet': only warnings, errors and records marked with SUMMARY_MARK;\n"
        "'verbose': debug records too; 'normal': as VELKIT_DEBUG says.");
    m.def(
        "show_status",
        [](const std::string& text) {
            console().status = text;
            write_stderr(kClearLine + text);
        },
        py::arg("text"),
        "Shows one line at the bottom of a terminal in place of the one before;\n"
        "records are written above it.");
    m.def(
        "clear_status",
        []() {
            if (console().status.empty()) return;
            console().status.clear();
            write_stderr(kClearLine);
        },
        "Removes the status line.");
}
