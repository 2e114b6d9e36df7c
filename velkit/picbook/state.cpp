#include "state.hpp"

#include "velkit/frame/module_state.hpp"

namespace velkit::picbook {

namespace {
PYBIND11_CONSTINIT frame::ModuleStateStore<ModuleState> g_state;
}

ModuleState& state() { return g_state.get(); }

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
    g_state.make(m, [&] {
        return ModuleState{has_pdf_libs, fpdf_class, image_module, py::none(), helperlib::Logger("PicBook")};
    });
}

}  // namespace velkit::picbook
