// XML arriving in chunks, parsed by expat: entities, character references,
// CDATA sections and line-end normalisation are the parser's. Names are
// local names (without a namespace prefix), so that the transitional and
// the strict namespaces of a workbook read alike.
#pragma once
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velutil {

class XmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Start-tag attributes as expat gives them: name, value, ..., nullptr.
class XmlAttributes {
public:
    explicit XmlAttributes(const char** pairs) : pairs_(pairs) {}
    // The value of the attribute with this local name.
    std::optional<std::string_view> get(std::string_view name) const;
    // The value of the attribute with this name as written, prefix and all,
    // for formats whose readers go by the usual prefixes.
    std::optional<std::string_view> exact(std::string_view qualified_name) const;

private:
    const char** pairs_;
};

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void start(std::string_view name, const XmlAttributes& attributes) = 0;
    virtual void end(std::string_view name) = 0;
    // Character data, possibly in several pieces.
    virtual void text(std::string_view text) = 0;
};

class XmlStream {
public:
    explicit XmlStream(XmlHandler& handler);
    ~XmlStream();
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;

    // XmlError names the line and the parser's complaint.
    void feed(std::string_view chunk);
    void finish();

private:
    struct Parser;
    std::unique_ptr<Parser> parser_;
};

// Feeds a whole document to `handler`.
void parse_xml(std::string_view xml, XmlHandler& handler);

// The local part of a (possibly prefixed) name.
std::string_view local_name(std::string_view name);

// Text with the "_xHHHH_" escapes of workbook strings decoded (as written
// for characters XML cannot hold, such as "_x000D_"; "_x005F_" escapes an
// underscore).
std::string decode_sheet_escapes(std::string_view text);

}  // namespace velutil
