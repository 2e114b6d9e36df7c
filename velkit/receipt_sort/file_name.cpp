#include "file_name.hpp"

#include "text_kit.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace velkit::receipt_sort {

namespace {

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Line breaks and tabs: where a cell breaks its text, a name gets a blank.
bool is_break(char32_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }

// Invisible format characters, bidirectional controls among them: U+202E
// would show "Rechnung\u202Excod.exe" as an .exe.
bool is_format_control(char32_t c) {
    return c == 0xAD || c == 0x61C || c == 0x180E || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB) ||
           (c >= 0xE0000 && c <= 0xE007F);
}

bool is_refused(char32_t c) { return is_control(c) || (c < 0x80 && std::strchr("\\/*?:\"<>|", int(c)) != nullptr); }

// Characters that may not begin or end a name part.
bool is_trimmed(char32_t c) { return is_white_space(c) || c == '.'; }

std::string trimmed(const std::string& text) {
    size_t begin = 0;
    while (begin < text.size()) {
        velutil::Utf8Unit unit = velutil::decode_utf8(text, begin);
        if (!is_trimmed(unit.code)) break;
        begin += unit.length;
    }
    size_t end = begin;  // the end of the last character that stays
    for (size_t at = begin; at < text.size();) {
        velutil::Utf8Unit unit = velutil::decode_utf8(text, at);
        at += unit.length;
        if (!is_trimmed(unit.code)) end = at;
    }
    return text.substr(begin, end - begin);
}

}  // namespace

std::string sanitize_name_part(const std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    bool after_blank = false;
    for (size_t at = 0; at < text.size();) {
        velutil::Utf8Unit unit = velutil::decode_utf8(text, at);
        size_t start = at;
        at += unit.length;
        if (!unit.valid) {  // a stray byte stays as it is
            kept.append(text, start, unit.length);
            after_blank = false;
            continue;
        }
        if (is_format_control(unit.code)) continue;
        if (is_break(unit.code) || is_white_space(unit.code)) {
            // A run of blanks and breaks is one blank.
            if (!after_blank) kept += ' ';
            after_blank = true;
            continue;
        }
        if (is_refused(unit.code)) continue;
        kept.append(text, start, unit.length);
        after_blank = false;
    }
    return trimmed(kept);
}

std::string date_code(const LocalTime& time) {
    std::string code;
    auto two_digits = [&code](int value) {
        code += static_cast<char>('0' + value / 10 % 10);
        code += static_cast<char>('0' + value % 10);
    };
    two_digits(time.month);
    two_digits(time.day);
    code += '_';
    two_digits(time.hour);
    two_digits(time.minute);
    two_digits(time.second);
    two_digits(time.microsecond / 10000);
    return code;
}

std::string new_file_name(const std::string& safe_name, const std::string& safe_amount, const std::string& code) {
    return safe_name + "_" + safe_amount + "_" + code + ".xlsx";
}

std::string fitted_file_name(const std::string& safe_name, const std::string& safe_amount, const std::string& code,
                             size_t most_bytes) {
    const size_t fixed = new_file_name("", "", code).size();
    const size_t budget = most_bytes > fixed ? most_bytes - fixed : 0;
    if (safe_name.size() + safe_amount.size() <= budget) return new_file_name(safe_name, safe_amount, code);
    // The name gives way first; an amount is cut only when it takes more
    // than what the name leaves, and then to no less than half.
    size_t amount_room = std::max(budget > safe_name.size() ? budget - safe_name.size() : 0, budget / 2);
    std::string amount(velutil::utf8_prefix(safe_amount, amount_room));
    std::string name(velutil::utf8_prefix(safe_name, budget - amount.size()));
    // A cut may leave a blank or a dot at the end.
    return new_file_name(trimmed(name), trimmed(amount), code);
}

}  // namespace velkit::receipt_sort
