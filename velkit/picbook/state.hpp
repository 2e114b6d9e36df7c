// What the picbook module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>
#include <vector>

#include "velkit/frame/tool_module.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::picbook {

struct ModuleState {
    bool has_pdf_libs = false;
    py::object fpdf_class;    // fpdf.FPDF, or object when fpdf is missing
    py::object image_module;  // PIL.Image, or None
    py::object lab_report;    // the LabReport class
    helperlib::Logger log;
};

inline ModuleState& state() { return frame::tool_state<ModuleState>(); }
ModuleState make_state(py::module_& m, helperlib::Logger log);
std::vector<std::string> missing_packages(const ModuleState& state);

// The command's run, once the configuration path is known.
void run_picbook(py::object config);

}  // namespace velkit::picbook
