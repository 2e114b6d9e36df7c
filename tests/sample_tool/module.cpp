// velkit.sample_tool: greets every name of its configuration; an empty
// name is a failed item.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "tool.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/tool_module.hpp"

namespace velkit::sample_tool {
namespace {

struct ModuleState {
    helperlib::Logger log;
};

ModuleState make_state(py::module_&, helperlib::Logger log) { return ModuleState{std::move(log)}; }

void run(py::object config) {
    const helperlib::Logger& log = frame::tool_state<ModuleState>().log;
    frame::ConfigSection section = frame::load_config(log, config);
    py::object names = section.raw("names");
    if (!py::isinstance<py::list>(names)) frame::refuse_configuration(log, config, "'config.names' must be a list");
    frame::warn_unknown_keys(log);
    frame::RunTally tally;
    for (py::handle name : names) {
        std::string text = py::str(name);
        if (text.empty()) {
            log.error("an empty name cannot be greeted");
            tally.failed("(empty)");
            continue;
        }
        log.info("Hello, " + text);
        tally.done();
    }
    frame::log_summary(log, tally, "Greeted " + std::to_string(tally.done_count()) + " names");
    frame::finish(tally);
}

const char* const kTemplateJson = R"json({
    "config": {
        "names": ["Ann", "Bob"]
    }
})json";

}  // namespace
}  // namespace velkit::sample_tool

PYBIND11_MODULE(sample_tool, m) {
    using namespace velkit::sample_tool;
    velkit::frame::define_tool<ModuleState>(m, kTool, {make_state, nullptr, nullptr, run, kTemplateJson});
}
