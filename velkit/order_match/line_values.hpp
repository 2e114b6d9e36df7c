// The PO and quantity of every line of one side as the match sees them:
// missing, an error value, a number or other text; the warnings about them,
// the table the match is given, and the lines that found no partner.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>
#include <string>
#include <vector>

#include "order_match.hpp"

namespace velkit::order_match {

enum class ValueState { kMissing, kError, kNumber, kText };

struct LineValue {
    long long row;  // as the file shows it
    ValueState po;
    ValueState quantity;
    std::string po_text;        // error values and texts, as read
    std::string quantity_text;
    std::optional<double> quantity_number;
};

// The lines of a table (its index holds the source rows).
std::vector<LineValue> line_values(py::handle table);

// One warning per side for error values (with their cells) and one for
// quantities that are not numbers (with their rows and values).
void warn_about_values(const std::vector<LineValue>& lines, const Side& side);

// The table given to the match: a column "_ROW" with the source rows, and
// error values blanked in PO and QTY so that they never match.
py::object match_table(py::handle table, const std::vector<LineValue>& lines);

// The lines of `table` whose rows are not in `matched_rows`, with "ROW"
// first and "REASON" last. `own_keys` and `other_keys` are the match
// tables of this side and the other; `other_lines` the other side's lines.
py::object unmatched_lines(py::handle table, py::handle own_keys, const std::vector<LineValue>& lines,
                           const std::vector<long long>& matched_rows, py::handle other_keys,
                           const std::vector<LineValue>& other_lines, const Side& side);

// Whether two lines' quantities match: numbers within `tolerance` (exactly
// equal for 0), texts equal; missing and error values never.
bool same_quantity(const LineValue& a, const LineValue& b, double tolerance);

// The pairs of system and customer lines with the same PO whose quantities
// match within `tolerance`; with `one_to_one` each line is in one pair at
// most, taken in row order. Columns as the exact match gives them ("QTY" is
// the system's).
py::object paired_lines(py::handle system_keys, py::handle customer_keys, const std::vector<LineValue>& system_lines,
                        const std::vector<LineValue>& customer_lines, double tolerance, bool one_to_one);

// A quantity as the REASON shows it, or nothing for a missing one.
std::optional<std::string> quantity_shown(py::handle value);

}  // namespace velkit::order_match
