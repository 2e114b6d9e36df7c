// Delivery dates written as text, as order exports and sheets hold them:
// "2024-01-15", "2024/1/15", "15.01.2024", "01/15/2024", "20240115", with or
// without a time after them. Each becomes the calendar day it names.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkit::order_match {

struct Date {
    int year;
    int month;
    int day;
};

// How "a/b/yyyy" and "a-b-yyyy" are read. A column uses one order: day
// first when more of its dates can only be read that way ("15/01/2024")
// than the other way round ("01/15/2024"), else month first.
// "dd.mm.yyyy" is always day first.
enum class DayOrder { kMonthFirst, kDayFirst };
DayOrder guess_day_order(const std::vector<std::string>& texts);

// The day a text names, or nothing when it names none (an impossible day
// such as 2024-02-30 included).
std::optional<Date> parse_date_text(std::string_view text, DayOrder order);

// "2024-01-05".
std::string iso_date(const Date& date);

}  // namespace velkit::order_match
