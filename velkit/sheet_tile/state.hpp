// What the sheet_tile module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "velkit/frame/velutil_access.hpp"

namespace velkit::sheet_tile {

struct ModuleState {
    bool has_pdf_libs = false;
    py::dict pypdf;  // the pypdf names the tool uses, by name; empty without pypdf
    helperlib::Logger log;
};

// Created by the module's initialisation; lives as long as the process.
ModuleState& state();
void init_state(py::module_& m);

// A pypdf name imported at set-up ("PdfWriter", "Transformation", ...).
py::object pdf_name(const char* name);

}  // namespace velkit::sheet_tile
