// What the picbook module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "velkit/frame/velutil_access.hpp"

namespace velkit::picbook {

struct ModuleState {
    bool has_pdf_libs = false;
    py::object fpdf_class;    // fpdf.FPDF, or object when fpdf is missing
    py::object image_module;  // PIL.Image, or None
    py::object lab_report;    // the LabReport class
    helperlib::Logger log;
};

// Created by the module's initialisation; lives as long as the process.
ModuleState& state();
void init_state(py::module_& m);

}  // namespace velkit::picbook
