#include "state.hpp"

#include "velkit/frame/command.hpp"

namespace velkit::picbook {

ModuleState make_state(py::module_& m, helperlib::Logger log) {
    // Without the PDF packages FPDF is the plain object type, so that the
    // report class can still be defined.
    py::object fpdf = frame::optional_import("fpdf");
    py::object image_module = frame::optional_import("PIL.Image");
    const bool has_pdf_libs = !fpdf.is_none() && !image_module.is_none();
    if (!has_pdf_libs) image_module = py::none();
    py::object fpdf_class = has_pdf_libs ? fpdf.attr("FPDF") : py::module_::import("builtins").attr("object");
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
