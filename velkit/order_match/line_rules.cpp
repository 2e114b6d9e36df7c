#include "line_rules.hpp"

#include <unordered_set>

namespace velkit::order_match {

std::string unmatched_reason(const UnmatchedLine& line, const std::string& other_side) {
    if (line.po_missing || line.quantity_missing) return "PO or quantity missing";
    if (!line.po_error.empty()) return "PO is an error value: " + line.po_error;
    if (!line.quantity_error.empty()) return "quantity is an error value: " + line.quantity_error;
    if (line.quantity_not_number) return "quantity is not a number: '" + *line.quantity_not_number + "'";
    std::string other_file = other_side == "customer" ? "the customer sheet" : "the system export";
    if (line.other_quantities.empty() && !line.other_quantity_problem.empty()) {
        return "PO found in " + other_file + ", but its quantity " + line.other_quantity_problem;
    }
    if (line.other_quantities.empty()) return "PO not in " + other_file;
    std::string quantities;
    for (const auto& quantity : line.other_quantities) {
        if (!quantities.empty()) quantities += ", ";
        quantities += quantity;
    }
    return "PO found, quantity differs (" + other_side + ": " + quantities + ")";
}

MonthTotals month_totals(const std::vector<MatchedPair>& pairs) {
    MonthTotals totals;
    std::unordered_set<long long> system_seen;
    std::unordered_set<long long> customer_seen;
    for (const auto& pair : pairs) {
        if (!pair.quantity) continue;
        if (system_seen.insert(pair.system_row).second && pair.system_month) {
            totals.system[*pair.system_month] += *pair.quantity;
        }
        if (customer_seen.insert(pair.customer_row).second && pair.customer_month) {
            totals.customer[*pair.customer_month] += *pair.quantity;
        }
    }
    return totals;
}

}  // namespace velkit::order_match
