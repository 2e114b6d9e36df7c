#include "xml_stream.hpp"

#include <expat.h>

#include <charconv>
#include <climits>

#include "text_kit.hpp"

namespace velutil {

std::string_view local_name(std::string_view name) {
    size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::optional<std::string_view> XmlAttributes::get(std::string_view name) const {
    for (const char** pair = pairs_; pair[0] != nullptr; pair += 2) {
        if (local_name(pair[0]) == name) return std::string_view(pair[1]);
    }
    return std::nullopt;
}

std::optional<std::string_view> XmlAttributes::exact(std::string_view qualified_name) const {
    for (const char** pair = pairs_; pair[0] != nullptr; pair += 2) {
        if (qualified_name == pair[0]) return std::string_view(pair[1]);
    }
    return std::nullopt;
}

struct XmlStream::Parser {
    XML_Parser parser;
    XmlHandler& handler;

    explicit Parser(XmlHandler& h) : parser(XML_ParserCreate("UTF-8")), handler(h) {
        if (parser == nullptr) throw std::bad_alloc();
        XML_SetUserData(parser, this);
        XML_SetElementHandler(
            parser,
            [](void* data, const XML_Char* name, const XML_Char** attributes) {
                static_cast<Parser*>(data)->handler.start(local_name(name), XmlAttributes(attributes));
            },
            [](void* data, const XML_Char* name) { static_cast<Parser*>(data)->handler.end(local_name(name)); });
        XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
            static_cast<Parser*>(data)->handler.text(std::string_view(text, static_cast<size_t>(length)));
        });
    }
    ~Parser() { XML_ParserFree(parser); }

    void parse(const char* data, size_t size, bool last) {
        // expat takes int lengths.
        while (size > static_cast<size_t>(INT_MAX / 2)) {
            parse(data, INT_MAX / 2, false);
            data += INT_MAX / 2;
            size -= INT_MAX / 2;
        }
        if (XML_Parse(parser, data, static_cast<int>(size), last ? XML_TRUE : XML_FALSE) == XML_STATUS_ERROR) {
            throw XmlError("line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": " +
                           XML_ErrorString(XML_GetErrorCode(parser)));
        }
    }
};

XmlStream::XmlStream(XmlHandler& handler) : parser_(std::make_unique<Parser>(handler)) {}
XmlStream::~XmlStream() = default;

void XmlStream::feed(std::string_view chunk) { parser_->parse(chunk.data(), chunk.size(), false); }
void XmlStream::finish() { parser_->parse("", 0, true); }

void parse_xml(std::string_view xml, XmlHandler& handler) {
    XmlStream stream(handler);
    stream.feed(xml);
    stream.finish();
}

namespace {

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

std::string decode_sheet_escapes(std::string_view text) {
    if (text.find("_x") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (i + 7 <= text.size() && text[i] == '_' && (text[i + 1] == 'x' || text[i + 1] == 'X') && text[i + 6] == '_' &&
            is_hex(text[i + 2]) && is_hex(text[i + 3]) && is_hex(text[i + 4]) && is_hex(text[i + 5])) {
            unsigned long code = 0;
            std::from_chars(text.data() + i + 2, text.data() + i + 6, code, 16);
            if (code < 0xD800 || code > 0xDFFF) {  // a lone surrogate half stays as written
                append_utf8(out, static_cast<char32_t>(code));
                i += 7;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

}  // namespace velutil
