// Decoding CSV file bytes: UTF-8 (with stray bytes repaired), UTF-16 and
// Windows-1252, all to UTF-8.
#include <cstdint>

#include "csv_fields.hpp"

namespace velutil {

namespace {

void append_utf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
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

// Length of the well-formed UTF-8 sequence at `at`, or 0.
size_t utf8_sequence(std::string_view text, size_t at) {
    size_t rest = find_invalid_utf8(text.substr(at, 4));
    auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return rest == std::string_view::npos || rest >= length ? length : 0;
}

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
        size_t length = utf8_sequence(text, i);
        if (length == 0) {
            ++stray;
            ++i;
        } else {
            ++sequences;
            i += length;
        }
    }
    return sequences > 0 && sequences >= stray;
}

}  // namespace

size_t find_invalid_utf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t size = text.size();
    for (size_t i = 0; i < size;) {
        unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned int minimum;
        unsigned int code;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, minimum = 0x80, code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, minimum = 0x800, code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, minimum = 0x10000, code = lead & 0x07;
        } else {
            return i;
        }
        if (i + length > size) return i;
        for (size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return i;
            code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
        i += length;
    }
    return std::string_view::npos;
}

std::string_view strip_utf8_bom(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return text;
}

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
