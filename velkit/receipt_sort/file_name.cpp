#include "file_name.hpp"

#include <cstdio>
#include <cstring>

namespace velkit::receipt_sort {

namespace {

// The code point of the UTF-8 sequence at `text[at]` and its length; a
// stray byte counts as one character that is not white space.
std::pair<char32_t, size_t> decode_at(const std::string& text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size()) return {0xFFFD, 1};
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {0xFFFD, 1};
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    return {code, length};
}

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// Where the first character that is not white space starts (or the end).
size_t skip_white_space(const std::string& text, size_t at) {
    while (at < text.size()) {
        auto [code, length] = decode_at(text, at);
        if (!is_white_space(code)) break;
        at += length;
    }
    return at;
}

}  // namespace

std::string sanitize_name_part(const std::string& text) {
    // The refused characters are ASCII, and ASCII bytes never occur inside
    // a multi-byte UTF-8 sequence, so a byte-wise filter is safe.
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (std::strchr("\\/*?:\"<>|", c) == nullptr || c == '\0') kept += c;
    }
    size_t begin = skip_white_space(kept, 0);
    // The end of the last character that is not white space.
    size_t end = begin;
    for (size_t at = begin; at < kept.size();) {
        auto [code, length] = decode_at(kept, at);
        at += length;
        if (!is_white_space(code)) end = at;
    }
    return kept.substr(begin, end - begin);
}

std::string date_code(const LocalTime& time) {
    char code[32];
    std::snprintf(code, sizeof code, "%02d%02d_%02d%02d%02d%02d", time.month, time.day, time.hour, time.minute,
                  time.second, time.microsecond / 10000);
    return code;
}

std::string new_file_name(const std::string& safe_name, const std::string& safe_amount, const std::string& code) {
    return safe_name + "_" + safe_amount + "_" + code + ".xlsx";
}

bool is_dry_run(const std::string& text_form) {
    if (text_form.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        char c = text_form[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != "true"[i]) return false;
    }
    return true;
}

}  // namespace velkit::receipt_sort
