// velkit.order_match: a CSV order export matched against a customer's Excel
// order sheet, with a monthly quantity summary.
#include "velkit/frame/pybind.hpp"

#include "order_match.hpp"
#include "state.hpp"
#include "texts.hpp"
#include "tool.hpp"
#include "velkit/frame/tool_module.hpp"

PYBIND11_MODULE(order_match, m) {
    using namespace velkit::order_match;
    // pandas is required: without it the module does not import.
    velkit::frame::define_tool<ModuleState>(
        m, kTool, {make_state, nullptr, register_order_match, run_order_match, kTemplateJson});
}
