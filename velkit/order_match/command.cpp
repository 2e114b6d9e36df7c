// cmd_order_match: writes the template or loads a configuration and runs
// OrderMatch, printing its outcome.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "order_match.hpp"
#include "state.hpp"
#include "texts.hpp"
#include "velkit/frame/command.hpp"

namespace velkit::order_match {

namespace {

void run_order_match(py::object config, bool generate_config) {
    // Built afresh on every call, so that nothing can change it in between.
    py::object template_config = py::module_::import("json").attr("loads")(kTemplateJson);
    frame::write_template_if_asked(generate_config, template_config, kTemplateFileName, kTemplateCreated);
    frame::require_config_path(config, {kMissingConfig});

    py::object conf = frame::load_config_section(config);
    if (conf.is_none()) return;
    py::tuple outcome = OrderMatch(conf).run();
    bool success = py::bool_(outcome[0]);
    frame::echo(std::string(success ? "Success: " : "Failed: ") + std::string(py::str(outcome[1])));
}

}  // namespace

void register_command(py::module_& m) {
    frame::CommandTexts texts{"order-match", kCommandHelp, kConfigHelp, kGenerateHelp, "cmd_order_match", kCallbackDoc};
    m.attr("cmd_order_match") = frame::make_command(texts, run_order_match);
}

}  // namespace velkit::order_match
