#include "cell_values.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

NumberKind classify_number(std::string_view text) {
    text = trim_blanks(text);
    size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    size_t int_start = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    size_t int_digits = i - int_start;
    if (int_digits == 0) return NumberKind::kText;
    if (int_digits > 1 && text[int_start] == '0') return NumberKind::kText;
    if (i == text.size()) {
        long long value = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        (void)end;
        return error == std::errc() ? NumberKind::kInteger : NumberKind::kDecimal;
    }
    if (text[i] != '.') return NumberKind::kText;
    ++i;
    size_t fraction_start = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (i == fraction_start || i != text.size()) return NumberKind::kText;
    return NumberKind::kDecimal;
}

NumberKind column_kind(const std::vector<std::optional<std::string>>& values) {
    bool any = false;
    NumberKind kind = NumberKind::kInteger;
    for (const auto& value : values) {
        if (!value) continue;
        any = true;
        NumberKind one = classify_number(*value);
        if (one == NumberKind::kText) return NumberKind::kText;
        if (one == NumberKind::kDecimal) kind = NumberKind::kDecimal;
    }
    return any ? kind : NumberKind::kText;
}

std::string number_key(double value) {
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[400];
    if (value == std::floor(value)) {
        if (value == 0) return "0";
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
}

size_t display_width(std::string_view utf8) {
    size_t width = 0;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        unsigned int code = lead;
        size_t length = 1;
        if (lead >= 0xF0) {
            code = lead & 0x07;
            length = 4;
        } else if (lead >= 0xE0) {
            code = lead & 0x0F;
            length = 3;
        } else if (lead >= 0xC0) {
            code = lead & 0x1F;
            length = 2;
        }
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += length;
        if (lead >= 0x80 && lead < 0xC0) continue;  // a stray continuation byte
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
