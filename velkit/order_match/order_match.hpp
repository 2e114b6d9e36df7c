// OrderMatch: matches the system order export against the customer's order
// sheet on purchase order and quantity and writes the result workbook.
#pragma once
#include "velkit/frame/pybind.hpp"

namespace velkit::order_match {

class OrderMatch {
public:
    explicit OrderMatch(py::object config);

    // (success, message); processing failures come back as a pair.
    py::tuple run();

    py::object system_data_path;
    py::object customer_data_path;
    py::object output_dir;
    py::object sys_po_cell;
    py::object sys_so_cell;
    py::object sys_so_pos_cell;
    py::object sys_so_suffix_cell;
    py::object sys_qty_cell;
    py::object sys_rdd_cell;
    py::object po_cell;
    py::object qty_cell;
    py::object rdd_cell;
    py::object system_df = py::none();
    py::object customer_df = py::none();
    py::object result_df = py::none();

private:
    py::tuple process();
    py::object summary_of(py::handle matched) const;
};

// Delivery dates of any form as "%Y-%m-%d" text; what is not a date becomes
// missing. `side` names the table in the warning about such values.
py::object normalise_dates(py::handle column, const std::string& side);

void register_order_match(py::module_& m);

}  // namespace velkit::order_match
