#include "state.hpp"

#include "velkit/frame/command.hpp"

namespace velkit::picbook {

ModuleState make_state(py::module_& m, helperlib::Logger log) {
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
    return ModuleState{has_pdf_libs, fpdf_class, image_module, py::none(), std::move(log)};
}

std::vector<std::string> missing_packages(const ModuleState& state) {
    if (state.has_pdf_libs) return {};
    return {frame::missing_packages_text("packages for PDF generation", "fpdf2, Pillow", "pdf")};
}

}  // namespace velkit::picbook
