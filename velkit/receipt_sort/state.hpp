// What the receipt_sort module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "velkit/frame/tool_module.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::receipt_sort {

struct ModuleState {
    py::module_ module;        // velkit.receipt_sort itself
    bool has_openpyxl = false;
    py::object load_workbook;    // openpyxl.load_workbook, or None
    helperlib::Logger log;
};

inline ModuleState& state() { return frame::tool_state<ModuleState>(); }
ModuleState make_state(py::module_& m, helperlib::Logger log);

// The command's run, once the configuration path is known.
void run_receipt_sort(py::object config);

}  // namespace velkit::receipt_sort
