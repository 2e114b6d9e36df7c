// What the receipt_sort module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "velkit/frame/velutil_access.hpp"

namespace velkit::receipt_sort {

struct ModuleState {
    py::module_ module;        // velkit.receipt_sort itself
    bool has_openpyxl = false;
    py::object load_workbook;    // openpyxl.load_workbook, or None
    helperlib::Logger log;
};

// Created by the module's initialisation; lives as long as the process.
ModuleState& state();
void init_state(py::module_& m);

}  // namespace velkit::receipt_sort
