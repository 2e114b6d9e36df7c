// velkit.picbook: a folder of measurement images becomes a PDF lab report.
#include "velkit/frame/pybind.hpp"

#include "report_generator.hpp"
#include "report_template.hpp"
#include "state.hpp"
#include "tool.hpp"
#include "velkit/frame/tool_module.hpp"

PYBIND11_MODULE(picbook, m) {
    using namespace velkit::picbook;
    velkit::frame::define_tool<ModuleState>(
        m, kTool, {make_state, missing_packages, register_report, run_picbook, kDefaultConfigJson, help_text()});
}
