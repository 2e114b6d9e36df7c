// velkit.order_match: a CSV order export matched against a customer's Excel
// order sheet, with a monthly quantity summary.
#include "velkit/frame/pybind.hpp"

#include "order_match.hpp"
#include "state.hpp"

namespace velkit::order_match {
void register_command(py::module_& m);
}

PYBIND11_MODULE(order_match, m) {
    using namespace velkit::order_match;
    m.doc() = "OrderMatch: system orders (CSV) matched against customer orders (Excel) on PO and QTY.";
    init_state(m);
    register_order_match(m);
    register_command(m);
}
