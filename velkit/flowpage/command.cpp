// cmd_flowpage: loads a site configuration and runs the conversion.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "converter.hpp"
#include "options_reader.hpp"
#include "site_templates.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::flowpage {

namespace {

void run_flowpage(py::object config, bool generate_config) {
    ModuleState& module = state();
    frame::require_packages(module.has_md, module.log,
                            {frame::missing_packages_text("package", "markdown", "markdown")});
    frame::require_packages(module.has_fences, module.log,
                            {frame::missing_packages_text("package", "pymdown-extensions", "markdown")});
    frame::write_template_if_asked(generate_config, py::module_::import("velkit.flowpage").attr("DEFAULT_CONFIG"),
                                   kTemplateFileName);
    frame::require_config_path(config, {"Error: Please provide a JSON file path using --config or -c.",
                                        "Hint: Run 'vel-kit flowpage --generate-config' to get a template."});
    frame::ConfigSection section = frame::load_config(module.log, config);
    SiteOptions options;
    try {
        options = read_options(section);
    } catch (const frame::ConfigError& error) {
        frame::refuse_configuration(module.log, config, error.what());
    }

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

}  // namespace

void register_command(py::module_& m) {
    frame::CommandTexts texts{
        "flowpage",
        "Convert .mmd and markdown files into static HTML pages.",
        "Specify the JSON config file path",
        "Generate config_flowpage_template.json",
        "cmd_flowpage",
        "Command entry point for FlowPage Generator",
        "FlowPage",
    };
    m.attr("cmd_flowpage") = frame::make_command(texts, run_flowpage);
}

}  // namespace velkit::flowpage
