// What the sheet_tile module sets up once at import.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "velkit/frame/tool_module.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::sheet_tile {

struct ModuleState {
    bool has_pdf_libs = false;
    py::dict pypdf;  // the pypdf names, by name, once first used (pdf_name); empty without pypdf
    helperlib::Logger log;
};

inline ModuleState& state() { return frame::tool_state<ModuleState>(); }
ModuleState make_state(py::module_& m, helperlib::Logger log);

// The command's run, once the configuration path is known.
void run_sheet_tile(py::object config);

// A pypdf name ("PdfWriter", "Transformation", ...), imported on first use;
// only the Python-facing helpers of the worker use them.
py::object pdf_name(const char* name);

}  // namespace velkit::sheet_tile
