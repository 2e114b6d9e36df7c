#include "text_kit.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace velutil {

// ---- UTF-8 ----

Utf8Unit decode_utf8(std::string_view text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1, true};
    const Utf8Unit stray{kStrayByteBase + lead, 1, false};
    size_t length;
    char32_t smallest;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, smallest = 0x10000;
    } else {
        return stray;
    }
    if (at + length > text.size()) return stray;
    char32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return stray;
        code = (code << 6) | (byte(at + k) & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return stray;
    return {code, length, true};
}

size_t find_invalid_utf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        Utf8Unit unit = decode_utf8(text, at);
        if (!unit.valid) return at;
        at += unit.length;
    }
    return std::string_view::npos;
}

size_t utf8_units(std::string_view text) {
    size_t count = 0;
    for (size_t at = 0; at < text.size(); at += decode_utf8(text, at).length) ++count;
    return count;
}

std::string_view utf8_prefix(std::string_view text, size_t most) {
    size_t end = 0;
    while (end < text.size()) {
        size_t next = end + decode_utf8(text, end).length;
        if (next > most) break;
        end = next;
    }
    return text.substr(0, end);
}

void append_utf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code >= kStrayByteBase + 0x80 && code <= kStrayByteBase + 0xFF) {
        out += static_cast<char>(code - kStrayByteBase);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string_view strip_utf8_bom(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return text;
}

// ---- ASCII case ----

std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = ascii_lower(c);
    return lower;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

// ---- Natural order ----

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int sign(int value) { return (value > 0) - (value < 0); }

// Compares the digit runs at a[i] and b[j] by value and moves both past
// them; `zeros` keeps the first difference in leading zeros.
int compare_digit_runs(std::string_view a, size_t& i, std::string_view b, size_t& j, int& zeros) {
    size_t a_start = i, b_start = j;
    while (i < a.size() && a[i] == '0') ++i;
    while (j < b.size() && b[j] == '0') ++j;
    int zero_order = sign(static_cast<int>(i - a_start) - static_cast<int>(j - b_start));
    size_t a_digits = i, b_digits = j;
    while (i < a.size() && is_digit(a[i])) ++i;
    while (j < b.size() && is_digit(b[j])) ++j;
    std::string_view a_run = a.substr(a_digits, i - a_digits), b_run = b.substr(b_digits, j - b_digits);
    if (a_run.size() != b_run.size()) return a_run.size() < b_run.size() ? -1 : 1;
    if (int order = a_run.compare(b_run); order != 0) return sign(order);
    if (zeros == 0) zeros = zero_order;
    return 0;
}

}  // namespace

int natural_compare(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    int zeros = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            if (int order = compare_digit_runs(a, i, b, j, zeros); order != 0) return order;
            continue;
        }
        auto x = static_cast<unsigned char>(ascii_lower(a[i]));
        auto y = static_cast<unsigned char>(ascii_lower(b[j]));
        if (x != y) return x < y ? -1 : 1;
        ++i, ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    if (zeros != 0) return zeros;
    return sign(a.compare(b));
}

// ---- Spreadsheet error values ----

bool is_spreadsheet_error(std::string_view text) {
    static constexpr std::string_view kErrors[] = {
        "#NULL!", "#DIV/0!", "#VALUE!",        "#REF!",     "#NAME?", "#NUM!",     "#N/A",      "#SPILL!",
        "#CALC!", "#FIELD!", "#GETTING_DATA", "#BLOCKED!", "#BUSY!", "#CONNECT!", "#UNKNOWN!"};
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return std::find(std::begin(kErrors), std::end(kErrors), text) != std::end(kErrors);
}

// ---- Number to text ----

std::vector<std::string_view> split_on(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::string number_text(double value, int significant_digits) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[64];
    if (significant_digits > 0) {
        int precision = std::min(significant_digits, 17);
        auto rounded = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
        // Rounding up past the largest double: the rounded digits are the text.
        if (std::from_chars(buffer, rounded.ptr, value).ec != std::errc()) return std::string(buffer, rounded.ptr);
    }
    if (value == 0) return "0";
    auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string plain(buffer, fixed.ec == std::errc() ? fixed.ptr : buffer);
    if (!plain.empty() && value == std::floor(value) && std::fabs(value) < 1e21) return plain;
    auto scientific = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string short_form(buffer, scientific.ptr);
    return !plain.empty() && plain.size() <= short_form.size() ? plain : short_form;
}

}  // namespace velutil
