// What the flowpage module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>
#include <vector>

#include "velkit/frame/tool_module.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::flowpage {

struct ModuleState {
    bool has_md = false;
    py::object markdown;  // the markdown package, or None
    bool has_fences = false;  // pymdown-extensions, for fences in lists and quotations
    helperlib::Logger log;
};

inline ModuleState& state() { return frame::tool_state<ModuleState>(); }
ModuleState make_state(py::module_& m, helperlib::Logger log);
std::vector<std::string> missing_packages(const ModuleState& state);

// The command's run, once the configuration path is known.
void run_flowpage(py::object config);

}  // namespace velkit::flowpage
