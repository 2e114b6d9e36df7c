// Rules for single order lines: which values never match, why a line found
// no partner, and the monthly totals, in which each line counts once.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkit::order_match {

// What is known of a line that matched nothing.
struct UnmatchedLine {
    bool po_missing = false;
    bool quantity_missing = false;
    std::string po_error;        // the error value, if the PO is one
    std::string quantity_error;  // the same for the quantity
    std::optional<std::string> quantity_not_number;  // the text, if it is no number
    // Quantities of the other side's lines with the same PO, as shown.
    std::vector<std::string> other_quantities;
    // When the other side has the PO only without a usable quantity: "is
    // missing" or "is an error value: #N/A".
    std::string other_quantity_problem;
};

// The REASON of an unmatched line. `other_side` is "customer" for a system
// line, "system" for a customer line.
std::string unmatched_reason(const UnmatchedLine& line, const std::string& other_side);

// One matched pair: the source rows of both lines, the quantity (none when
// it is no number) and each side's delivery month (year * 12 + month - 1).
struct MatchedPair {
    long long system_row;
    long long customer_row;
    std::optional<double> quantity;
    std::optional<int> system_month;
    std::optional<int> customer_month;
};

// Quantities per month of each side. A line that is in several pairs (a
// duplicate export line, a split delivery) counts once for its side.
struct MonthTotals {
    std::map<int, double> system;
    std::map<int, double> customer;
};
MonthTotals month_totals(const std::vector<MatchedPair>& pairs);

}  // namespace velkit::order_match
