#include "state.hpp"

#include "velkit/frame/module_state.hpp"

namespace velkit::sheet_tile {

namespace {
PYBIND11_CONSTINIT frame::ModuleStateStore<ModuleState> g_state;
}

ModuleState& state() { return g_state.get(); }

py::object pdf_name(const char* name) {
    if (!state().pypdf.contains(name)) throw std::runtime_error("pypdf is not installed: pip install pypdf");
    return state().pypdf[name];
}

void init_state(py::module_& m) {
    for (const char* name : {"os", "sys", "click"}) m.attr(name) = py::module_::import(name);

    // pypdf is optional: without it the module still imports and the
    // command says what to install. Names imported before a failure stay.
    py::dict names;
    bool has_pdf_libs = true;
    try {
        py::module_ pypdf = py::module_::import("pypdf");
        for (const char* name : {"PdfReader", "PdfWriter", "PageObject", "Transformation", "PaperSize"}) {
            names[name] = pypdf.attr(name);
            m.attr(name) = names[name];
        }
        py::module_ generic = py::module_::import("pypdf.generic");
        for (const char* name : {"NameObject", "DictionaryObject", "StreamObject"}) {
            names[name] = generic.attr(name);
            m.attr(name) = names[name];
        }
        // Used inside only, not module attributes.
        for (const char* name : {"DecodedStreamObject", "ArrayObject", "FloatObject", "NullObject", "IndirectObject"}) {
            names[name] = generic.attr(name);
        }
    } catch (py::error_already_set& error) {
        // A pypdf without one of the names is as good as none.
        if (!error.matches(PyExc_ImportError) && !error.matches(PyExc_AttributeError)) throw;
        has_pdf_libs = false;
    }
    m.attr("HAS_PDF_LIBS") = has_pdf_libs;

    for (const char* name : {"fileMg", "app_logging"}) {
        m.attr(name) = py::module_::import((std::string("velutil.") + name).c_str());
    }
    g_state.make(m, [&] { return ModuleState{has_pdf_libs, names, helperlib::Logger("SheetTile")}; });
}

}  // namespace velkit::sheet_tile
