// velkit.receipt_sort: expense workbooks renamed after their name and
// amount cells and moved into a results folder, with a backup of each.
#include "velkit/frame/pybind.hpp"

#include "config_template.hpp"
#include "rename_run.hpp"
#include "state.hpp"
#include "tool.hpp"
#include "velkit/frame/tool_module.hpp"

PYBIND11_MODULE(receipt_sort, m) {
    using namespace velkit::receipt_sort;
    // The package check is part of the run, so the template can be
    // written without openpyxl.
    velkit::frame::define_tool<ModuleState>(
        m, kTool, {make_state, nullptr, register_run, run_receipt_sort, kDefaultConfigJson, help_text()});
}
