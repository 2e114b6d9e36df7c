// The pandas side of the run's tables: delivery dates read into one form,
// the monthly summary, and date cells for the written workbooks.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>
#include <string>

#include "dates.hpp"

#include "order_match.hpp"

namespace velkit::order_match {

// Delivery dates of any form as "%Y-%m-%d" text; what is not a date becomes
// missing and is named in a warning (up to five, with their rows). `letters`
// names the column in the warning about an ambiguous day order.
// `order`, when set, is the day order of the texts (no guess, no warning).
py::object normalise_dates(py::handle column, const Side& side, const std::string& letters,
                           std::optional<DayOrder> order = std::nullopt);

// The quantities per delivery month of either side: rows "SYS_RDD" and
// "CUS_RDD", one column per month in calendar order; each source line
// counts once. None when no line has a dated, numeric quantity. `pairs` is
// the match's table with "_ROW_SYS", "_ROW_CUST", "QTY", "SYSTEM_RDD" and
// "CUSTOMER_RDD".
py::object summary_table(py::handle pairs);

// A copy of `table` in which the "%Y-%m-%d" text columns named are dates,
// so that the workbook holds date cells.
py::object with_date_cells(py::handle table, const std::vector<std::string>& columns);

}  // namespace velkit::order_match
