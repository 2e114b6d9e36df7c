#include "dates.hpp"

#include <charconv>
#include <cmath>

#include "cell_values.hpp"

namespace velkit::order_match {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

// A time of day after the date: "10:30", "10:30:00", "10:30:00.123", an
// optional "Z".
bool is_time(std::string_view text) {
    if (!text.empty() && text.back() == 'Z') text.remove_suffix(1);
    size_t i = 0;
    auto digits = [&](size_t least, size_t most) {
        size_t start = i;
        while (i < text.size() && is_digit(text[i]) && i - start < most) ++i;
        return i - start >= least;
    };
    if (!digits(1, 2) || i >= text.size() || text[i++] != ':' || !digits(2, 2)) return false;
    if (i < text.size() && text[i] == ':') {
        ++i;
        if (!digits(2, 2)) return false;
        if (i < text.size() && text[i] == '.') {
            ++i;
            if (!digits(1, 9)) return false;
        }
    }
    return i == text.size();
}

// The date part split into three numbers and the separator.
struct Parts {
    int numbers[3];
    size_t lengths[3];
    char separator;
};

std::optional<Parts> split(std::string_view text) {
    text = trimmed(text);
    size_t cut = text.find_first_of(" T");
    if (cut != std::string_view::npos) {
        if (!is_time(trimmed(text.substr(cut + 1)))) return std::nullopt;
        text = text.substr(0, cut);
    }
    Parts parts{};
    if (text.size() == 8 && text.find_first_not_of("0123456789") == std::string_view::npos) {
        auto number = [&](size_t at, size_t length) {
            int value = 0;
            for (size_t k = at; k < at + length; ++k) value = value * 10 + (text[k] - '0');
            return value;
        };
        return Parts{{number(0, 4), number(4, 2), number(6, 2)}, {4, 2, 2}, '\0'};
    }
    size_t i = 0;
    for (int part = 0; part < 3; ++part) {
        size_t start = i;
        int value = 0;
        while (i < text.size() && is_digit(text[i]) && i - start < 4) value = value * 10 + (text[i++] - '0');
        if (i == start) return std::nullopt;
        parts.numbers[part] = value;
        parts.lengths[part] = i - start;
        if (part < 2) {
            if (i >= text.size()) return std::nullopt;
            char separator = text[i++];
            if (separator != '-' && separator != '/' && separator != '.') return std::nullopt;
            if (part == 0) parts.separator = separator;
            if (separator != parts.separator) return std::nullopt;
        }
    }
    if (i != text.size()) return std::nullopt;
    return parts;
}

bool year_first(const Parts& parts) { return parts.lengths[0] == 4 && parts.lengths[1] <= 2 && parts.lengths[2] <= 2; }

bool year_last(const Parts& parts) { return parts.lengths[2] == 4 && parts.lengths[0] <= 2 && parts.lengths[1] <= 2; }

std::optional<Date> valid(int year, int month, int day) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) return std::nullopt;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > days) return std::nullopt;
    return Date{year, month, day};
}

}  // namespace

ColumnDayOrder read_day_order(const std::vector<std::string>& texts) {
    bool day_first = false;
    bool month_first = false;
    std::string example;
    for (const auto& text : texts) {
        auto parts = split(text);
        if (!parts || !year_last(*parts)) continue;
        const int* n = parts->numbers;
        if (parts->separator == '.' || n[0] > 12) {
            day_first = true;
        } else if (n[1] > 12) {
            month_first = true;
        } else if (n[0] != n[1] && example.empty()) {
            example = std::string(trimmed(text));
        }
    }
    if (day_first) return {DayOrder::kDayFirst, ""};
    if (month_first) return {DayOrder::kMonthFirst, ""};
    return {DayOrder::kMonthFirst, example};
}

std::optional<Date> serial_date(double value) {
    if (!(value >= 32874 && value <= 73050) || value != std::floor(value)) return std::nullopt;
    velutil::CivilDate date = velutil::date_of_serial(static_cast<long long>(value));
    return Date{date.year, date.month, date.day};
}

std::optional<Date> parse_date_text(std::string_view text, DayOrder order) {
    auto parts = split(text);
    if (!parts) return std::nullopt;
    const int* n = parts->numbers;
    if (year_first(*parts)) return valid(n[0], n[1], n[2]);
    if (!year_last(*parts) || order == DayOrder::kYearFirst) return std::nullopt;
    if (parts->separator == '.' || order == DayOrder::kDayFirst) return valid(n[2], n[1], n[0]);
    return valid(n[2], n[0], n[1]);
}

std::string iso_date(const Date& date) {
    auto digits = [](int value, size_t width) {
        char buffer[16];
        auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        std::string text(buffer, end);
        return std::string(text.size() < width ? width - text.size() : 0, '0') + text;
    };
    return digits(date.year, 4) + "-" + digits(date.month, 2) + "-" + digits(date.day, 2);
}

}  // namespace velkit::order_match
