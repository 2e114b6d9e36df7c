// cmd_flowpage's run: loads a site configuration and runs the conversion.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "converter.hpp"
#include "options_reader.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::flowpage {

void run_flowpage(py::object config) {
    ModuleState& module = state();
    frame::ConfigSection section = frame::load_config(module.log, config);
    SiteOptions options = frame::checked_options(module.log, config, [&] { return read_options(section); });

    MermaidConverter app(section.object(), std::move(options));
    std::string error_text;
    try {
        frame::LibraryMessages library_messages(module.log, {"MARKDOWN"});
        py::tuple outcome = app.run();
        bool success = py::bool_(outcome[0]);
        frame::echo("\n[" + std::string(success ? "DONE" : "WARNING") + "] " + frame::shown(outcome[1]));
        if (app.tally.any_items()) frame::log_summary(module.log, app.tally, done_text(app.result));
        frame::finish(app.tally);
        return;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        error_text = frame::shown(error.value());
    } catch (const std::exception& error) {
        error_text = error.what();
    }
    frame::echo("\n[ERROR] " + error_text);
    if (app.tally.any_items()) frame::log_summary(module.log, app.tally, done_text(app.result));
    frame::exit_with(1);
}

}  // namespace velkit::flowpage
