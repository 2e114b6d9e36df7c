#include "state.hpp"

#include "velkit/frame/command.hpp"

namespace velkit::sheet_tile {

namespace {

constexpr const char* kPublicNames[] = {"PdfReader", "PdfWriter", "PageObject", "Transformation", "PaperSize",
                                        "NameObject", "DictionaryObject", "StreamObject"};

// The pypdf names, imported on first use: the merge itself is qpdf's, and
// importing pypdf would cost every run a third of a second. Names imported
// before a failure stay out; a pypdf without one of them is as good as none.
void import_pypdf() {
    ModuleState& module = state();
    if (py::len(module.pypdf) > 0) return;
    py::dict names;
    try {
        py::module_ pypdf = py::module_::import("pypdf");
        for (const char* name : {"PdfReader", "PdfWriter", "PageObject", "Transformation", "PaperSize"}) {
            names[name] = pypdf.attr(name);
        }
        py::module_ generic = py::module_::import("pypdf.generic");
        for (const char* name : {"NameObject", "DictionaryObject", "StreamObject", "DecodedStreamObject",
                                 "ArrayObject", "FloatObject", "NullObject", "IndirectObject"}) {
            names[name] = generic.attr(name);
        }
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError) && !error.matches(PyExc_AttributeError)) throw;
        return;
    }
    module.pypdf = names;
}

bool pypdf_installed() {
    try {
        return !py::module_::import("importlib.util").attr("find_spec")("pypdf").is_none();
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        return false;
    }
}

}  // namespace

py::object pdf_name(const char* name) {
    import_pypdf();
    if (!state().pypdf.contains(name)) throw std::runtime_error(frame::missing_packages_text("package", "pypdf", "pdf"));
    return state().pypdf[name];
}

ModuleState make_state(py::module_& m, helperlib::Logger log) {

    // The module's pypdf names (PdfReader, ...) are looked up when first
    // asked for; HAS_PDF_LIBS says whether pypdf can be imported.
    m.attr("HAS_PDF_LIBS") = pypdf_installed();
    m.def("__getattr__", [](const std::string& name) -> py::object {
        for (const char* public_name : kPublicNames) {
            if (name != public_name) continue;
            import_pypdf();
            if (state().pypdf.contains(public_name)) return state().pypdf[public_name];
        }
        throw py::attribute_error("module 'velkit.sheet_tile' has no attribute '" + name + "'");
    });

    return ModuleState{py::bool_(m.attr("HAS_PDF_LIBS")), py::dict(), std::move(log)};
}

}  // namespace velkit::sheet_tile
