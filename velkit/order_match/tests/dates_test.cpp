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
    // One day-first value decides, as do dots.
    EXPECT_EQ(guess_day_order({"02/15/2024", "03/14/2024", "13/01/2024"}), DayOrder::kDayFirst);
    EXPECT_EQ(guess_day_order({"05.03.2024", "01/02/2024"}), DayOrder::kDayFirst);
}

TEST(GuessDayOrder, AColumnThatShowsNeitherIsAmbiguous) {
    ColumnDayOrder column = read_day_order({"2024-01-15", "05/03/2024", "04/04/2024"});
    EXPECT_EQ(column.order, DayOrder::kMonthFirst);
    EXPECT_EQ(column.ambiguous_example, "05/03/2024");
    // Equal fields and year-first dates read the same either way.
    EXPECT_EQ(read_day_order({"04/04/2024", "2024-05-03"}).ambiguous_example, "");
    EXPECT_EQ(read_day_order({"05/03/2024", "05/13/2024"}).ambiguous_example, "");
}

TEST(SerialDate, WholeNumbersFrom1990To2099) {
    EXPECT_EQ(iso_date(*serial_date(45356)), "2024-03-05");
    EXPECT_EQ(iso_date(*serial_date(32874)), "1990-01-01");
    EXPECT_EQ(iso_date(*serial_date(73050)), "2099-12-31");
    for (double value : {32873.0, 73051.0, 45356.5, 20240115.0, -45356.0}) EXPECT_FALSE(serial_date(value)) << value;
}
