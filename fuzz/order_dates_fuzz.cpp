// Delivery dates as text: whatever a text is read as is a real calendar
// day, and that day written as ISO text reads back as itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "dates.hpp"

using namespace velkit::order_match;

namespace {

bool is_real_day(const Date& date) {
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.month < 1 || date.month > 12 || date.day < 1) return false;
    bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
    int most = date.month == 2 && !leap ? 28 : kDays[date.month - 1];
    return date.day <= most;
}

void check(std::string_view text, DayOrder order) {
    auto date = parse_date_text(text, order);
    if (!date) return;
    if (!is_real_day(*date)) std::abort();
    auto again = parse_date_text(iso_date(*date), order);
    if (!again || again->year != date->year || again->month != date->month || again->day != date->day) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // One date a line, as a column holds them.
    std::vector<std::string> column;
    for (size_t start = 0; start <= input.size();) {
        size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        column.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    ColumnDayOrder order = read_day_order(column);
    for (const auto& text : column) {
        check(text, order.order);
        check(text, order.order == DayOrder::kDayFirst ? DayOrder::kMonthFirst : DayOrder::kDayFirst);
    }
    return 0;
}
