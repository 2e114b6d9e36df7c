// What the flowpage module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "velkit/frame/velutil_access.hpp"

namespace velkit::flowpage {

struct ModuleState {
    bool has_md = false;
    py::object markdown;  // the markdown package, or None
    bool has_fences = false;  // pymdown-extensions, for fences in lists and quotations
    helperlib::Logger log;
};

// Created by the module's initialisation; lives as long as the process.
ModuleState& state();
void init_state(py::module_& m);

}  // namespace velkit::flowpage
