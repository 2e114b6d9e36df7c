#include "line_rules.hpp"

#include <gtest/gtest.h>

using namespace velkit::order_match;

TEST(UnmatchedReason, MissingErrorsAndTextComeBeforeThePo) {
    UnmatchedLine line;
    line.other_quantities = {"12"};
    EXPECT_EQ(unmatched_reason(line, "customer"), "PO found, quantity differs (customer: 12)");
    line.other_quantities = {"12", "2.5"};
    EXPECT_EQ(unmatched_reason(line, "system"), "PO found, quantity differs (system: 12, 2.5)");
    line.quantity_not_number = "4 pcs";
    EXPECT_EQ(unmatched_reason(line, "customer"), "quantity is not a number: '4 pcs'");
    line.quantity_error = "#N/A";
    EXPECT_EQ(unmatched_reason(line, "customer"), "quantity is an error value: #N/A");
    line.quantity_missing = true;
    EXPECT_EQ(unmatched_reason(line, "customer"), "PO or quantity missing");
    EXPECT_EQ(unmatched_reason(UnmatchedLine{}, "customer"), "PO not in the customer sheet");
    EXPECT_EQ(unmatched_reason(UnmatchedLine{}, "system"), "PO not in the system export");
}

TEST(MonthTotals, EachLineCountsOnceForItsSide) {
    // A duplicate system line (rows 2 and 3) against one customer line
    // (row 7), and a split delivery: system row 4 against customer rows 8, 9.
    std::vector<MatchedPair> pairs = {
        {2, 7, 25.0, 100, 101}, {3, 7, 25.0, 100, 101}, {4, 8, 10.0, 102, 102},
        {4, 9, 10.0, 102, 103}, {5, 10, std::nullopt, 102, 102}, {6, 11, 1.0, std::nullopt, 102},
    };
    MonthTotals totals = month_totals(pairs);
    EXPECT_EQ(totals.system, (std::map<int, double>{{100, 50.0}, {102, 10.0}}));
    EXPECT_EQ(totals.customer, (std::map<int, double>{{101, 25.0}, {102, 11.0}, {103, 10.0}}));
}
