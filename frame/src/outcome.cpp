#include "velkit/frame/outcome.hpp"

#include <set>

#include "velkit/frame/command.hpp"
#include "velkit/frame/progress.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::frame {

namespace {

// The item library messages concern now; one command runs at a time.
std::string& current_item() {
    static std::string item;
    return item;
}

// What was passed on in this run: a library that says the same about the
// same item twice (an image probed, then drawn) is logged once.
std::set<std::string>& already_said() {
    static std::set<std::string> said;
    return said;
}

void forward(const helperlib::Logger& log, const std::string& message) {
    const std::string& item = current_item();
    std::string line = item.empty() ? message : item + ": " + message;
    if (!already_said().insert(line).second) return;
    log.warning(line);
}

// Messages of a library come as one line; the first line carries the news.
std::string first_line(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// The warning filters, with "show once" actions made "show always", so that
// the same warning for a second item is not swallowed; "error" and
// "ignore" filters stay as they are.
py::list filters_showing_every_warning(py::handle filters) {
    py::list result;
    for (py::handle entry : filters) {
        py::tuple filter = py::reinterpret_borrow<py::tuple>(entry);
        std::string action = py::str(filter[0]);
        if (action == "default" || action == "module" || action == "once") {
            py::list fields(filter);
            fields[0] = py::str("always");
            result.append(py::tuple(fields));
        } else {
            result.append(filter);
        }
    }
    return result;
}

}  // namespace

LibraryMessages::LibraryMessages(const helperlib::Logger& log, const std::vector<std::string>& library_loggers) {
    py::module_ warnings = py::module_::import("warnings");
    py::module_ logging = py::module_::import("logging");
    const bool debug = debug_requested();
    already_said().clear();

    warnings_context_ = warnings.attr("catch_warnings")();
    warnings_context_.attr("__enter__")();
    warnings.attr("filters") = filters_showing_every_warning(warnings.attr("filters"));
    former_default_action_ = warnings.attr("defaultaction");
    warnings.attr("defaultaction") = "always";
    warnings.attr("_filters_mutated")();
    warnings.attr("showwarning") = py::cpp_function(
        [log, debug](py::object message, py::object category, py::object filename, py::object lineno,
                     py::object, py::object) {
            if (debug) {
                log.debug(py::str("{}:{}: {}: {}").format(filename, lineno, category.attr("__name__"), message));
            }
            forward(log, first_line(shown(message)));
        },
        py::arg("message"), py::arg("category"), py::arg("filename"), py::arg("lineno"),
        py::arg("file") = py::none(), py::arg("line") = py::none());

    handler_ = logging.attr("Handler")(logging.attr("WARNING"));
    handler_.attr("emit") = py::cpp_function([log, debug](py::object record) {
        std::string message;
        try {
            message = shown(record.attr("getMessage")());
        } catch (py::error_already_set&) {
            message = shown(record.attr("msg"));
        }
        if (debug) log.debug(py::str("{} ({}:{}): {}").format(record.attr("name"), record.attr("pathname"),
                                                              record.attr("lineno"), message));
        forward(log, first_line(message));
    });
    for (const auto& name : library_loggers) {
        py::object logger = logging.attr("getLogger")(name);
        loggers_.emplace_back(logger, py::bool_(logger.attr("propagate")));
        logger.attr("addHandler")(handler_);
        logger.attr("propagate") = false;
    }
}

LibraryMessages::~LibraryMessages() {
    // Runs while an exception may be on its way out: keep it, restore the
    // interpreter's state, and put it back.
    py::gil_scoped_acquire gil;
    py::error_scope pending;
    try {
        for (auto& [logger, propagate] : loggers_) {
            logger.attr("removeHandler")(handler_);
            logger.attr("propagate") = propagate;
        }
        py::module_ warnings = py::module_::import("warnings");
        warnings.attr("defaultaction") = former_default_action_;
        warnings_context_.attr("__exit__")(py::none(), py::none(), py::none());
    } catch (py::error_already_set& error) {
        error.discard_as_unraisable("restoring the warning and logging state");
    }
}

ItemScope::ItemScope(std::string item) : previous_(std::move(current_item())) { current_item() = std::move(item); }

ItemScope::~ItemScope() { current_item() = std::move(previous_); }

void log_summary(const helperlib::Logger& log, const RunTally& tally, const std::string& done_text,
                 const std::string& skip_reason) {
    // The progress of the run is over once its result is told.
    current_progress().end();
    log.summary(tally.failed_count() > 0, summary_text(tally, done_text, skip_reason));
}

void finish(const RunTally& tally) {
    if (!tally.job_done()) exit_with(1);
}

}  // namespace velkit::frame
