#include "state.hpp"

#include "velkit/frame/module_state.hpp"

namespace velkit::receipt_sort {

namespace {
PYBIND11_CONSTINIT frame::ModuleStateStore<ModuleState> g_state;
}

ModuleState& state() { return g_state.get(); }

void init_state(py::module_& m) {
    for (const char* name : {"os", "re", "sys", "json", "click"}) m.attr(name) = py::module_::import(name);
    // The clock the run reads; looked up on the module at each use.
    m.attr("datetime") = py::module_::import("datetime").attr("datetime");
    m.attr("Path") = py::module_::import("pathlib").attr("Path");

    // openpyxl is optional: without it the module still imports and the run
    // says what to install.
    bool has_openpyxl = true;
    py::object load_workbook = py::none();
    try {
        load_workbook = py::module_::import("openpyxl").attr("load_workbook");
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) throw;
        has_openpyxl = false;
    }
    m.attr("HAS_OPENPYXL") = has_openpyxl;
    m.attr("load_workbook") = load_workbook;

    for (const char* name : {"app_logging", "fileMg"}) {
        m.attr(name) = py::module_::import((std::string("velutil.") + name).c_str());
    }
    g_state.make(m, [&] { return ModuleState{m, has_openpyxl, load_workbook, helperlib::Logger("ReceiptSort")}; });
}

}  // namespace velkit::receipt_sort
