#include "line_rules.hpp"

#include <charconv>
#include <cmath>
#include <unordered_set>

namespace velkit::order_match {

bool is_error_value(std::string_view text) {
    static const char* const kErrors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",   "#NAME?",         "#NUM!",
                                          "#N/A",   "#SPILL!", "#CALC!",  "#FIELD!", "#GETTING_DATA", "#BLOCKED!",
                                          "#BUSY!", "#CONNECT!", "#UNKNOWN!"};
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    for (const char* error : kErrors) {
        if (text == error) return true;
    }
    return false;
}

std::string number_text(double value) {
    if (value == 0) return "0";
    char buffer[400];
    auto format = value == std::floor(value) && std::fabs(value) < 1e300 ? std::chars_format::fixed
                                                                           : std::chars_format::general;
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    return std::string(buffer, result.ptr);
}

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
