#include "state.hpp"

namespace velkit::picbook {

namespace {
ModuleState* g_state = nullptr;  // never freed: Python objects must outlive no interpreter
}

ModuleState& state() { return *g_state; }

void init_state(py::module_& m) {
    for (const char* name : {"os", "math", "json", "sys", "click"}) m.attr(name) = py::module_::import(name);

    // The PDF packages are optional: without them the module still imports
    // and the command says what to install.
    bool has_pdf_libs = true;
    py::object fpdf_class;
    py::object image_module = py::none();
    try {
        fpdf_class = py::module_::import("fpdf").attr("FPDF");
        image_module = py::module_::import("PIL.Image");
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) throw;
        has_pdf_libs = false;
        fpdf_class = py::module_::import("builtins").attr("object");
    }
    m.attr("HAS_PDF_LIBS") = has_pdf_libs;
    m.attr("FPDF") = fpdf_class;
    m.attr("Image") = image_module;

    for (const char* name : {"app_logging", "fileMg", "parseTools"}) {
        m.attr(name) = py::module_::import((std::string("velutil.") + name).c_str());
    }
    g_state = new ModuleState{has_pdf_libs, fpdf_class, image_module, py::none(), helperlib::Logger("PicBook")};
    m.attr("log") = g_state->log.object();
}

}  // namespace velkit::picbook
