// cmd_order_match: writes the template or loads a configuration and runs
// OrderMatch, printing its outcome and ending with the exit-status rule.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "order_match.hpp"
#include "state.hpp"
#include "texts.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::order_match {

namespace {

void run_order_match(py::object config, bool generate_config) {
    const helperlib::Logger& log = state().log;
    // Built afresh on every call, so that nothing can change it in between.
    py::object template_config = py::module_::import("json").attr("loads")(kTemplateJson);
    frame::write_template_if_asked(generate_config, template_config, kTemplateFileName, kTemplateCreated);
    frame::require_config_path(config, {kMissingConfig});

    frame::ConfigSection section = frame::load_config(log, config);
    Options options;
    try {
        options = parse_options(section);
    } catch (const frame::ConfigError& error) {
        frame::refuse_configuration(log, config, error.what());
    }
    frame::LibraryMessages library_messages(log, {});
    OrderMatch worker(std::move(options));
    py::tuple outcome = worker.run();
    bool success = py::bool_(outcome[0]);
    frame::echo(std::string(success ? "Success: " : "Failed: ") + frame::shown(outcome[1]));
    if (worker.counts) frame::log_summary(log, worker.tally, counts_text(*worker.counts));
    frame::finish(worker.tally);
}

}  // namespace

void register_command(py::module_& m) {
    frame::CommandTexts texts{"order-match", kCommandHelp, kConfigHelp, kGenerateHelp, "cmd_order_match", kCallbackDoc,
                              "OrderMatch"};
    m.attr("cmd_order_match") = frame::make_command(texts, run_order_match);
}

}  // namespace velkit::order_match
