#include "state.hpp"

namespace velkit::receipt_sort {

ModuleState make_state(py::module_& m, helperlib::Logger log) {
    // The clock the run reads; looked up on the module at each use.
    m.attr("datetime") = py::module_::import("datetime").attr("datetime");
    m.attr("Path") = py::module_::import("pathlib").attr("Path");

    // Without openpyxl the run says what to install.
    py::object openpyxl = frame::optional_import("openpyxl");
    const bool has_openpyxl = !openpyxl.is_none();
    py::object load_workbook = has_openpyxl ? py::object(openpyxl.attr("load_workbook")) : py::none();
    m.attr("HAS_OPENPYXL") = has_openpyxl;
    m.attr("load_workbook") = load_workbook;
    return ModuleState{m, has_openpyxl, load_workbook, std::move(log)};
}

}  // namespace velkit::receipt_sort
