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
// first when any of its dates has a first field above 12 ("15/01/2024") or
// uses dots ("05.03.2024"), else month first when any has a second field
// above 12 ("01/15/2024"). A column that shows neither is read month first
// and is ambiguous when one of its dates would read otherwise day first
// ("05/03/2024"). "dd.mm.yyyy" is always day first.
// kYearFirst (set, never guessed) reads only dates that begin with their year.
enum class DayOrder { kMonthFirst, kDayFirst, kYearFirst };
struct ColumnDayOrder {
    DayOrder order = DayOrder::kMonthFirst;
    std::string ambiguous_example;  // empty when the order is certain
};
ColumnDayOrder read_day_order(const std::vector<std::string>& texts);
inline DayOrder guess_day_order(const std::vector<std::string>& texts) { return read_day_order(texts).order; }

// A whole number in a date column that is a spreadsheet serial date between
// 1990-01-01 (32874) and 2099-12-31 (73050) is that day.
std::optional<Date> serial_date(double value);

// The day a text names, or nothing when it names none (an impossible day
// such as 2024-02-30 included).
std::optional<Date> parse_date_text(std::string_view text, DayOrder order);

// "2024-01-05".
std::string iso_date(const Date& date);

}  // namespace velkit::order_match
