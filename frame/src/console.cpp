#include "velkit/frame/console.hpp"

#include "velkit/frame/velutil_access.hpp"

namespace velkit::frame {

namespace {

Verbosity& verbosity_now() {
    static Verbosity verbosity = Verbosity::normal;
    return verbosity;
}

void tell_loggers(Verbosity verbosity) {
    const char* name = verbosity == Verbosity::quiet ? "quiet" : verbosity == Verbosity::verbose ? "verbose" : "normal";
    py::module_::import("velutil.app_logging").attr("set_verbosity")(name);
    verbosity_now() = verbosity;
}

// Progress on standard error: a status line kept at the bottom of a
// terminal (velutil's handler writes records above it), else info lines
// through the tool's logger. Progress is a courtesy: a stream that fails
// costs the progress, never the run.
class StderrDisplay : public ProgressDisplay {
public:
    explicit StderrDisplay(std::string logger_name) : logger_name_(std::move(logger_name)) {
        py::object stream = py::module_::import("sys").attr("stderr");
        try {
            live_ = !stream.is_none() && py::bool_(stream.attr("isatty")());
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
        }
    }

    bool live() const override { return live_; }

    std::size_t width() const override {
        // COLUMNS first, as shells and other tools take it; a terminal that
        // tells no size counts as 80 columns.
        std::size_t columns = 0;
        try {
            py::module_ os = py::module_::import("os");
            std::string given = py::str(os.attr("environ").attr("get")("COLUMNS", ""));
            if (!given.empty() && given.find_first_not_of("0123456789") == std::string::npos && given.size() < 6) {
                columns = std::stoul(given);
            } else {
                py::object stream = py::module_::import("sys").attr("stderr");
                columns = os.attr("get_terminal_size")(stream.attr("fileno")()).attr("columns").cast<std::size_t>();
            }
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
        }
        if (columns == 0) columns = 80;
        // The label goes in front, and the last column stays free so that
        // the terminal does not wrap to a new line.
        const std::size_t taken = logger_name_.size() + 3;
        return columns > taken + 10 ? columns - taken : 10;
    }

    void show(const std::string& text) override {
        guarded([&] { logging().attr("show_status")(logger_name_ + ": " + text); });
    }

    // Runs also from destructors, while an error is on its way out: keeps
    // that error and never throws.
    void clear() override {
        py::error_scope pending;
        try {
            logging().attr("clear_status")();
        } catch (py::error_already_set& error) {
            error.discard_as_unraisable("removing the progress line");
        }
    }

    void line(const std::string& text) override {
        guarded([&] {
            if (!log_) log_ = std::make_unique<helperlib::Logger>(logger_name_);
            log_->info(text);
        });
    }

private:
    static py::module_ logging() { return py::module_::import("velutil.app_logging"); }

    template <typename Step>
    static void guarded(Step step) {
        try {
            step();
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
        }
    }

    std::string logger_name_;
    bool live_ = false;
    std::unique_ptr<helperlib::Logger> log_;
};

}  // namespace

RunConsole::RunConsole(Verbosity verbosity, const std::string& logger_name) {
    tell_loggers(verbosity);
    if (verbosity == Verbosity::quiet) return;
    display_ = std::make_unique<StderrDisplay>(logger_name);
    meter_ = std::make_unique<ProgressMeter>(*display_);
    scope_ = std::make_unique<ProgressScope>(*meter_);
}

RunConsole::~RunConsole() {
    scope_.reset();
    meter_.reset();
    display_.reset();
    py::error_scope pending;
    try {
        tell_loggers(Verbosity::normal);
    } catch (py::error_already_set& error) {
        error.discard_as_unraisable("restoring the log verbosity");
    }
}

Verbosity current_verbosity() { return verbosity_now(); }

}  // namespace velkit::frame
