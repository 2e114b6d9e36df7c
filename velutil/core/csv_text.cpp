// Decoding CSV file bytes: UTF-8 (with stray bytes repaired), UTF-16 and
// Windows-1252, all to UTF-8.
#include <cstdint>

#include "csv_fields.hpp"
#include "text_kit.hpp"

namespace velutil {

namespace {

const uint16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t cp1252_code(unsigned char byte) { return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte; }

std::string utf16_to_utf8(std::string_view bytes, bool big_endian, std::vector<size_t>& repaired) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t at) -> uint32_t {
        auto b0 = static_cast<unsigned char>(bytes[at]);
        auto b1 = static_cast<unsigned char>(bytes[at + 1]);
        return big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t code = unit(i);
        if (code >= 0xD800 && code <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF) {
            repaired.push_back(out.size());
            code = 0xFFFD;
        }
        append_utf8(out, code);
    }
    if (i < bytes.size()) {  // an odd byte at the end
        repaired.push_back(out.size());
        append_utf8(out, 0xFFFD);
    }
    return out;
}

// UTF-8 text with its undecodable bytes read as Windows-1252.
std::string repair_utf8(std::string_view text, std::vector<size_t>& repaired) {
    std::string out;
    out.reserve(text.size() + 16);
    size_t i = 0;
    while (i < text.size()) {
        size_t bad = find_invalid_utf8(text.substr(i));
        if (bad == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, bad));
        repaired.push_back(out.size());
        append_utf8(out, cp1252_code(static_cast<unsigned char>(text[i + bad])));
        i += bad + 1;
    }
    return out;
}

// Whether the text has more well-formed multi-byte UTF-8 sequences than
// stray bytes, and at least one: UTF-8 with a few foreign bytes.
bool mostly_utf8(std::string_view text) {
    size_t sequences = 0;
    size_t stray = 0;
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        Utf8Unit unit = decode_utf8(text, i);
        ++(unit.valid ? sequences : stray);
        i += unit.length;
    }
    return sequences > 0 && sequences >= stray;
}

}  // namespace

std::string cp1252_to_utf8(std::string_view text) {
    // 0x80..0x9F have their own table; the rest of the upper half is Latin-1.
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) append_utf8(out, cp1252_code(static_cast<unsigned char>(c)));
    return out;
}

const char* encoding_name(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::kUtf16:
            return "utf-16";
        case TextEncoding::kCp1252:
            return "cp1252";
        default:
            return "utf-8";
    }
}

DecodedText decode_text(std::string bytes, TextEncoding wanted) {
    DecodedText decoded;
    std::string_view view(bytes);
    bool little = view.substr(0, 2) == "\xFF\xFE";
    bool big = view.substr(0, 2) == "\xFE\xFF";
    if ((wanted == TextEncoding::kGuess && (little || big)) || wanted == TextEncoding::kUtf16) {
        decoded.encoding = TextEncoding::kUtf16;
        decoded.text = utf16_to_utf8(little || big ? view.substr(2) : view, big, decoded.repaired);
        return decoded;
    }
    if (view.substr(0, 3) == "\xEF\xBB\xBF") bytes.erase(0, 3);
    if (wanted == TextEncoding::kCp1252) {
        decoded.encoding = TextEncoding::kCp1252;
        decoded.text = cp1252_to_utf8(bytes);
        return decoded;
    }
    if (find_invalid_utf8(bytes) == std::string_view::npos) {
        decoded.text = std::move(bytes);
        return decoded;
    }
    if (wanted == TextEncoding::kUtf8 || mostly_utf8(bytes)) {
        decoded.text = repair_utf8(bytes, decoded.repaired);
        return decoded;
    }
    decoded.encoding = TextEncoding::kCp1252;
    decoded.text = cp1252_to_utf8(bytes);
    return decoded;
}

}  // namespace velutil
