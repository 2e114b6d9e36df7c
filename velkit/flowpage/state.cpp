#include "state.hpp"

#include "velkit/frame/module_state.hpp"

namespace velkit::flowpage {

namespace {
PYBIND11_CONSTINIT frame::ModuleStateStore<ModuleState> g_state;
}

ModuleState& state() { return g_state.get(); }

void init_state(py::module_& m) {
    for (const char* name : {"os", "sys", "click"}) m.attr(name) = py::module_::import(name);

    // markdown is optional: without it the module still imports and the
    // command says what to install.
    bool has_md = true;
    py::object markdown = py::none();
    try {
        markdown = py::module_::import("markdown");
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) throw;
        has_md = false;
    }
    m.attr("HAS_MD") = has_md;
    bool has_fences = true;
    try {
        py::module_::import("pymdownx.superfences");
        py::module_::import("yaml");
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) throw;
        has_fences = false;
    }
    m.attr("markdown") = markdown;

    for (const char* name : {"fileMg", "app_logging"}) {
        m.attr(name) = py::module_::import((std::string("velutil.") + name).c_str());
    }
    g_state.make(m, [&] { return ModuleState{has_md, markdown, has_fences, helperlib::Logger("FlowPage")}; });
}

}  // namespace velkit::flowpage
