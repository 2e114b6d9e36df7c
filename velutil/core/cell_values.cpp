#include "cell_values.hpp"
#include "text_kit.hpp"

#include "text_kit.hpp"

#include <charconv>
#include <cmath>

namespace velutil {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

bool is_blank_text(std::string_view text) { return trim_blanks(text).empty(); }

namespace {

bool is_invisible(char32_t c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0xA0 || c == 0x1680 || c == 0x180E ||
           (c >= 0x2000 && c <= 0x200D) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x2060 || c == 0x3000 || c == 0xFEFF;
}

}  // namespace

std::string_view trim_invisible(std::string_view text) {
    while (!text.empty()) {
        Utf8Unit unit = decode_utf8(text, 0);
        if (!unit.valid || !is_invisible(unit.code)) break;
        text.remove_prefix(unit.length);
    }
    while (!text.empty()) {
        // The last character starts at most three bytes before the end.
        size_t start = text.size() - 1;
        while (start > 0 && text.size() - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        Utf8Unit unit = decode_utf8(text, start);
        if (!unit.valid || start + unit.length != text.size() || !is_invisible(unit.code)) break;
        text.remove_suffix(unit.length);
    }
    return text;
}

Number read_number(std::string_view text, NumberStyle style) {
    text = trim_blanks(text);
    Number number;
    // The digits alone, with "." for the decimal separator: what from_chars reads.
    std::string plain;
    size_t i = 0;
    if (i < text.size() && text[i] == '-') plain += text[i++];
    size_t int_start = i;
    size_t group = 0;  // digits since the last thousands separator
    bool grouped = false;
    while (i < text.size()) {
        char c = text[i];
        if (is_digit(c)) {
            plain += c;
            ++group;
        } else if (style.thousands != '\0' && c == style.thousands) {
            if (group == 0 || (grouped && group != 3) || (!grouped && group > 3)) return number;
            grouped = true;
            group = 0;
        } else {
            break;
        }
        ++i;
    }
    size_t int_digits = plain.size() - (plain.empty() || plain[0] != '-' ? 0 : 1);
    if (int_digits == 0 || (grouped && group != 3)) return number;
    if (int_digits > 1 && text[int_start] == '0') return number;
    bool fraction = false;
    if (i < text.size()) {
        if (text[i] != style.decimal) return number;
        ++i;
        plain += '.';
        size_t fraction_start = i;
        while (i < text.size() && is_digit(text[i])) plain += text[i++];
        if (i == fraction_start || i != text.size()) return number;
        fraction = true;
    }
    size_t significant = 0;
    bool leading = true;
    for (char c : plain) {
        if (!is_digit(c) || (leading && c == '0')) continue;
        leading = false;
        ++significant;
    }
    if (significant > 15) return number;

    const char* first = plain.data();
    const char* last = plain.data() + plain.size();
    if (!fraction && std::from_chars(first, last, number.integer).ec == std::errc()) {
        number.kind = NumberKind::kInteger;
        number.decimal = static_cast<double>(number.integer);
        return number;
    }
    if (std::from_chars(first, last, number.decimal).ec != std::errc()) return number;
    number.kind = NumberKind::kDecimal;
    return number;
}

NumberKind classify_number(std::string_view text, NumberStyle style) { return read_number(text, style).kind; }

NumberKind column_kind(const std::vector<std::optional<std::string>>& values, NumberStyle style) {
    bool any = false;
    NumberKind kind = NumberKind::kInteger;
    for (const auto& value : values) {
        if (!value) continue;
        any = true;
        NumberKind one = classify_number(*value, style);
        if (one == NumberKind::kText) return NumberKind::kText;
        if (one == NumberKind::kDecimal) kind = NumberKind::kDecimal;
    }
    return any ? kind : NumberKind::kText;
}

CivilDate date_of_serial(long long serial, bool date1904) {
    // Days from 1970-01-01 to the system's day 0.
    return civil_from_days(serial + (date1904 ? -24107 : (serial >= 61 ? -25569 : -25568)));
}

CivilDate civil_from_days(long long days) {
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    long long doe = days - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day};
}

size_t display_width(std::string_view utf8) {
    size_t width = 0;
    for (size_t i = 0; i < utf8.size();) {
        Utf8Unit unit = decode_utf8(utf8, i);
        char32_t code = unit.code;
        i += unit.length;
        if ((code >= 0x0300 && code <= 0x036F) || (code >= 0x200B && code <= 0x200F)) continue;
        bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                    (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                    (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                    (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1FAFF) ||
                    (code >= 0x20000 && code <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

}  // namespace velutil
