#include "state.hpp"

namespace velkit::receipt_sort {

ModuleState make_state(py::module_& m, helperlib::Logger log) {
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
    return ModuleState{m, has_openpyxl, load_workbook, std::move(log)};
}

}  // namespace velkit::receipt_sort
