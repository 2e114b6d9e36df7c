// What the order_match module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "velkit/frame/tool_module.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::order_match {

struct ModuleState {
    py::module_ pandas;
    helperlib::Logger log;
};

inline ModuleState& state() { return frame::tool_state<ModuleState>(); }
ModuleState make_state(py::module_& m, helperlib::Logger log);

// The command's run, once the configuration path is known.
void run_order_match(py::object config);

}  // namespace velkit::order_match
