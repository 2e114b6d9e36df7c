// velkit.receipt_sort: expense workbooks renamed after their name and
// amount cells and moved into a results folder, with a backup of each.
#include "velkit/frame/pybind.hpp"

#include "config_template.hpp"
#include "rename_run.hpp"
#include "state.hpp"

namespace velkit::receipt_sort {
void register_command(py::module_& m);
}

PYBIND11_MODULE(receipt_sort, m) {
    using namespace velkit::receipt_sort;
    m.doc() = "ReceiptSort: expense workbooks renamed after their name and amount cells.";
    init_state(m);
    m.attr("DEFAULT_CONFIG") = py::module_::import("json").attr("loads")(kDefaultConfigJson);
    m.attr("HELP_TEXT") = help_text();
    register_command(m);
    register_run(m);
}
