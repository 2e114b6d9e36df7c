#include "dates.hpp"

#include <gtest/gtest.h>

using namespace velkit::order_match;

namespace {

std::string read(const char* text, DayOrder order = DayOrder::kMonthFirst) {
    auto date = parse_date_text(text, order);
    return date ? iso_date(*date) : "-";
}

}  // namespace

TEST(ParseDateText, YearFirstFormsAndCompactDigits) {
    EXPECT_EQ(read("2024-01-15"), "2024-01-15");
    EXPECT_EQ(read("2024/1/5"), "2024-01-05");
    EXPECT_EQ(read("2024.12.31"), "2024-12-31");
    EXPECT_EQ(read("20240115"), "2024-01-15");
    EXPECT_EQ(read(" 2024-01-15 10:30:00 "), "2024-01-15");
    EXPECT_EQ(read("2024-01-15T08:00:00.250Z"), "2024-01-15");
}

TEST(ParseDateText, YearLastFollowsTheDayOrderExceptWithDots) {
    EXPECT_EQ(read("01/02/2024", DayOrder::kMonthFirst), "2024-01-02");
    EXPECT_EQ(read("01/02/2024", DayOrder::kDayFirst), "2024-02-01");
    EXPECT_EQ(read("15.01.2024", DayOrder::kMonthFirst), "2024-01-15");
    EXPECT_EQ(read("15/01/2024", DayOrder::kMonthFirst), "-");
}

TEST(ParseDateText, WhatNamesNoDayIsNothing) {
    for (const char* text : {"not a date", "", "2024-02-30", "2023-02-29", "2024-13-01", "2024-01", "2024-01/15",
                             "45306", "2024-01-15 later", "24-01-15", "2024-01-15 25:61:00x"}) {
        EXPECT_EQ(read(text), "-") << text;
    }
    EXPECT_EQ(read("2024-02-29"), "2024-02-29");
    EXPECT_EQ(read("2000-02-29"), "2000-02-29");
    EXPECT_EQ(read("1900-02-29"), "-");
}

TEST(GuessDayOrder, TheColumnDecides) {
    EXPECT_EQ(guess_day_order({"01/02/2024", "15/02/2024", "20/03/2024"}), DayOrder::kDayFirst);
    EXPECT_EQ(guess_day_order({"01/02/2024", "02/15/2024"}), DayOrder::kMonthFirst);
    EXPECT_EQ(guess_day_order({"01/02/2024", "03/04/2024"}), DayOrder::kMonthFirst);
    // Dots and year-first dates say nothing about slashes.
    EXPECT_EQ(guess_day_order({"15.02.2024", "2024-02-15"}), DayOrder::kMonthFirst);
}
