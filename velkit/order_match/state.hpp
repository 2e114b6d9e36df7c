// What the order_match module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "velkit/frame/velutil_access.hpp"

namespace velkit::order_match {

struct ModuleState {
    py::module_ pandas;
    helperlib::Logger log;
};

// Created by the module's initialisation; lives as long as the process.
ModuleState& state();
void init_state(py::module_& m);

}  // namespace velkit::order_match
