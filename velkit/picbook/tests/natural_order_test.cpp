#include "natural_order.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using velkit::picbook::natural_less;

namespace {
std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end(), natural_less);
    return names;
}
}  // namespace

TEST(NaturalOrder, NumbersCountAsNumbers) {
    EXPECT_EQ(sorted({"ch10.png", "ch1.png", "ch11.png", "ch2.png"}),
              (std::vector<std::string>{"ch1.png", "ch2.png", "ch10.png", "ch11.png"}));
    EXPECT_EQ(sorted({"range_20m", "range_5m", "range_15m", "range_10m"}),
              (std::vector<std::string>{"range_5m", "range_10m", "range_15m", "range_20m"}));
    // Longer than any integer type.
    EXPECT_TRUE(natural_less("x99999999999999999999999", "x100000000000000000000000"));
}

TEST(NaturalOrder, CaseIgnoredThenBytesDecide) {
    EXPECT_TRUE(natural_less("a.png", "B.png"));
    EXPECT_TRUE(natural_less("B.png", "b.png"));  // equal but for case: bytes
    EXPECT_FALSE(natural_less("b.png", "B.png"));
    EXPECT_TRUE(natural_less("run", "run1"));
}

TEST(NaturalOrder, LeadingZerosOnlyBreakTies) {
    EXPECT_TRUE(natural_less("run2", "run010"));
    EXPECT_TRUE(natural_less("run1", "run01"));
    EXPECT_FALSE(natural_less("run01", "run1"));
    EXPECT_TRUE(natural_less("a01b", "a1c"));  // the text after decides first
}

TEST(NaturalOrder, IsAStrictWeakOrder) {
    std::vector<std::string> names{"a", "A", "a1", "a01", "a001", "a1b", "A1B", "\xff", "b2", "b10", ""};
    for (const auto& x : names) {
        EXPECT_FALSE(natural_less(x, x)) << x;
        for (const auto& y : names) {
            if (x != y) EXPECT_NE(natural_less(x, y), natural_less(y, x)) << x << " " << y;
        }
    }
}
