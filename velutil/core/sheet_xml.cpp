#include "sheet_xml.hpp"

#include <algorithm>
#include <charconv>

#include "cell_reference.hpp"
#include "text_kit.hpp"

namespace velutil {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view local_name(std::string_view name) {
    size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Feeds a whole part to a reader with feed/finish.
template <typename Reader>
void read_whole(Reader& reader, std::string_view xml) {
    reader.feed(xml);
    reader.finish();
}

int to_int(std::string_view text, int fallback) {
    int value = fallback;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : fallback;
}

}  // namespace

std::string decode_xml_text(std::string_view text) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, amp - i));
        size_t semi = text.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 10) {
            out += '&';
            i = amp + 1;
            continue;
        }
        std::string_view entity = text.substr(amp + 1, semi - amp - 1);
        if (entity == "amp") {
            out += '&';
        } else if (entity == "lt") {
            out += '<';
        } else if (entity == "gt") {
            out += '>';
        } else if (entity == "quot") {
            out += '"';
        } else if (entity == "apos") {
            out += '\'';
        } else if (entity.size() > 1 && entity[0] == '#') {
            bool hex = entity[1] == 'x' || entity[1] == 'X';
            std::string_view digits = entity.substr(hex ? 2 : 1);
            unsigned long code = 0;
            auto result = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() || code > 0x10FFFF ||
                (code >= 0xD800 && code <= 0xDFFF)) {
                out.append(text.substr(amp, semi - amp + 1));
            } else {
                append_utf8(out, static_cast<char32_t>(code));
            }
        } else {
            out.append(text.substr(amp, semi - amp + 1));
        }
        i = semi + 1;
    }
    return out;
}

void XmlPull::feed(std::string_view chunk) {
    if (position_ > 0) {
        buffer_.erase(0, position_);
        position_ = 0;
    }
    buffer_.append(chunk);
}

bool XmlPull::next(Event& event) {
    const size_t size = buffer_.size();
    while (position_ < size) {
        if (buffer_[position_] != '<') {
            size_t open = buffer_.find('<', position_);
            if (open == std::string::npos && !closed_) return false;
            size_t end = open == std::string::npos ? size : open;
            event.kind = Kind::kText;
            event.name = {};
            event.attrs = {};
            event.text = decode_xml_text(std::string_view(buffer_).substr(position_, end - position_));
            position_ = end;
            return true;
        }
        std::string_view rest = std::string_view(buffer_).substr(position_);
        // Declarations, comments, CDATA and doctype.
        if (rest.size() < 2) return false;
        if (rest[1] == '?' || rest[1] == '!') {
            if (rest.size() < 9 && !closed_) return false;  // could be the start of "<![CDATA["
            bool comment = rest.substr(0, 4) == "<!--";
            bool cdata = rest.substr(0, 9) == "<![CDATA[";
            std::string_view terminator = comment ? "-->" : cdata ? "]]>" : ">";
            size_t end = rest.find(terminator, 2);
            if (end == std::string_view::npos) {
                if (!closed_) return false;
                position_ = size;
                continue;
            }
            position_ += end + terminator.size();
            if (cdata) {
                event.kind = Kind::kText;
                event.name = {};
                event.attrs = {};
                event.text = std::string(rest.substr(9, end - 9));
                return true;
            }
            continue;
        }
        // A tag: '>' outside quoted attribute values ends it.
        size_t i = 1;
        char quote = 0;
        for (; i < rest.size(); ++i) {
            char c = rest[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (i >= rest.size()) {
            if (!closed_) return false;
            position_ = size;
            return false;
        }
        std::string_view tag = rest.substr(1, i - 1);
        position_ += i + 1;
        bool closing = !tag.empty() && tag[0] == '/';
        if (closing) tag.remove_prefix(1);
        bool self_closing = !tag.empty() && tag.back() == '/';
        if (self_closing) tag.remove_suffix(1);
        size_t name_end = 0;
        while (name_end < tag.size() && !is_space(tag[name_end])) ++name_end;
        event.kind = closing ? Kind::kEnd : Kind::kStart;
        event.name = local_name(tag.substr(0, name_end));
        event.attrs = tag.substr(name_end);
        event.self_closing = self_closing;
        event.text.clear();
        return true;
    }
    return false;
}

std::optional<std::string> XmlPull::attribute(std::string_view attrs, std::string_view name) {
    size_t i = 0;
    while (i < attrs.size()) {
        while (i < attrs.size() && is_space(attrs[i])) ++i;
        size_t name_start = i;
        while (i < attrs.size() && attrs[i] != '=' && !is_space(attrs[i])) ++i;
        std::string_view key = attrs.substr(name_start, i - name_start);
        while (i < attrs.size() && is_space(attrs[i])) ++i;
        if (i >= attrs.size() || attrs[i] != '=') break;
        ++i;
        while (i < attrs.size() && is_space(attrs[i])) ++i;
        if (i >= attrs.size() || (attrs[i] != '"' && attrs[i] != '\'')) break;
        char quote = attrs[i++];
        size_t value_end = attrs.find(quote, i);
        if (value_end == std::string_view::npos) break;
        if (local_name(key) == name) return decode_xml_text(attrs.substr(i, value_end - i));
        i = value_end + 1;
    }
    return std::nullopt;
}

std::optional<CellPosition> parse_cell_position(std::string_view text) {
    size_t i = 0;
    long long column = 0;
    while (i < text.size() && text[i] >= 'A' && text[i] <= 'Z') {
        column = column * 26 + (text[i++] - 'A' + 1);
        if (column > kMaxColumns) return std::nullopt;
    }
    long long row = 0;
    size_t digits_start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        row = row * 10 + (text[i++] - '0');
        if (row > kMaxRows) return std::nullopt;
    }
    if (column == 0 || i == digits_start || i != text.size() || row < 1) return std::nullopt;
    return CellPosition{static_cast<int>(column - 1), static_cast<int>(row)};
}

SheetCellReader::SheetCellReader(std::vector<int> columns, int first_row)
    : wanted_(kMaxColumns, false), first_row_(first_row) {
    for (int column : columns) {
        if (column >= 0 && column < kMaxColumns) wanted_[static_cast<size_t>(column)] = true;
    }
}

void SheetCellReader::feed(std::string_view chunk) {
    xml_.feed(chunk);
    XmlPull::Event event;
    while (xml_.next(event)) handle(event);
}

void SheetCellReader::finish() {
    xml_.close();
    XmlPull::Event event;
    while (xml_.next(event)) handle(event);
}

void SheetCellReader::handle(const XmlPull::Event& event) {
    using Kind = XmlPull::Kind;
    if (event.kind == Kind::kText) {
        if (!keep_ || phonetic_depth_ > 0) return;
        if (in_value_) cell_.value += event.text;
        if (in_text_) inline_text_ += event.text;
        return;
    }
    std::string_view name = event.name;
    if (event.kind == Kind::kStart) {
        if (name == "row") {
            auto r = XmlPull::attribute(event.attrs, "r");
            row_ = r ? to_int(*r, row_ + 1) : row_ + 1;
            column_ = -1;
        } else if (name == "c") {
            auto r = XmlPull::attribute(event.attrs, "r");
            std::optional<CellPosition> position = r ? parse_cell_position(*r) : std::nullopt;
            if (position) {
                column_ = position->column;
                row_ = position->row;
            } else {
                ++column_;
            }
            keep_ = row_ >= first_row_ && column_ >= 0 && column_ < kMaxColumns &&
                    wanted_[static_cast<size_t>(column_)];
            in_cell_ = !event.self_closing;
            if (!keep_ || event.self_closing) return;
            auto t = XmlPull::attribute(event.attrs, "t");
            auto s = XmlPull::attribute(event.attrs, "s");
            SheetCell::Type type = SheetCell::Type::kNumber;
            if (t) {
                if (*t == "s") type = SheetCell::Type::kShared;
                else if (*t == "str" || *t == "inlineStr") type = SheetCell::Type::kText;
                else if (*t == "b") type = SheetCell::Type::kBool;
                else if (*t == "e") type = SheetCell::Type::kError;
                else if (*t == "d") type = SheetCell::Type::kIsoDate;
            }
            cell_ = SheetCell{row_, column_, type, std::string(), s ? to_int(*s, -1) : -1};
            inline_text_.clear();
        } else if (in_cell_ && keep_) {
            if (name == "v") in_value_ = !event.self_closing;
            else if (name == "t") in_text_ = !event.self_closing;
            else if (name == "rPh") phonetic_depth_ += event.self_closing ? 0 : 1;
        }
        return;
    }
    // End tags.
    if (name == "v") {
        in_value_ = false;
    } else if (name == "t") {
        in_text_ = false;
    } else if (name == "rPh") {
        if (phonetic_depth_ > 0) --phonetic_depth_;
    } else if (name == "c") {
        if (keep_) {
            // An inline string has no <v>: its text is the value.
            if (cell_.value.empty() && !inline_text_.empty()) cell_.value = std::move(inline_text_);
            if (!cell_.value.empty()) cells_.push_back(std::move(cell_));
        }
        in_cell_ = keep_ = in_value_ = in_text_ = false;
        phonetic_depth_ = 0;
    }
}

SharedStringReader::SharedStringReader(std::vector<size_t> wanted) : wanted_(std::move(wanted)) {
    std::sort(wanted_.begin(), wanted_.end());
}

void SharedStringReader::feed(std::string_view chunk) {
    xml_.feed(chunk);
    XmlPull::Event event;
    while (xml_.next(event)) handle(event);
}

void SharedStringReader::finish() {
    xml_.close();
    XmlPull::Event event;
    while (xml_.next(event)) handle(event);
}

void SharedStringReader::handle(const XmlPull::Event& event) {
    using Kind = XmlPull::Kind;
    if (event.kind == Kind::kText) {
        if (in_item_ && in_text_ && phonetic_depth_ == 0) text_ += event.text;
        return;
    }
    if (event.name == "si") {
        if (event.kind == Kind::kStart && !event.self_closing) {
            in_item_ = std::binary_search(wanted_.begin(), wanted_.end(), index_);
            text_.clear();
            return;
        }
        bool wanted = event.kind == Kind::kStart ? std::binary_search(wanted_.begin(), wanted_.end(), index_) : in_item_;
        if (wanted) strings_[index_] = event.kind == Kind::kStart ? std::string() : std::move(text_);
        in_item_ = false;
        ++index_;
    } else if (event.name == "t") {
        in_text_ = event.kind == Kind::kStart && !event.self_closing;
    } else if (event.name == "rPh") {
        if (event.kind == Kind::kStart && !event.self_closing) ++phonetic_depth_;
        if (event.kind == Kind::kEnd && phonetic_depth_ > 0) --phonetic_depth_;
    }
}

bool is_date_format(std::string_view code) {
    // Only the first section (positive numbers) counts.
    bool quoted = false;
    for (size_t i = 0; i < code.size(); ++i) {
        char c = code[i];
        if (quoted) {
            quoted = c != '"';
            continue;
        }
        switch (c) {
            case '"':
                quoted = true;
                break;
            case '\\':
            case '_':
            case '*':
                ++i;  // the next character is literal
                break;
            case '[': {
                // [Red], [$-409] are decorations; [h], [mm], [ss] elapsed times.
                size_t end = code.find(']', i);
                if (end == std::string_view::npos) return false;
                std::string_view inside = code.substr(i + 1, end - i - 1);
                if (!inside.empty() && (inside[0] == 'h' || inside[0] == 'H' || inside[0] == 'm' || inside[0] == 'M' ||
                                        inside[0] == 's' || inside[0] == 'S')) {
                    return true;
                }
                i = end;
                break;
            }
            case ';':
                return false;
            case 'd': case 'D': case 'm': case 'M': case 'y': case 'Y':
            case 'h': case 'H': case 's': case 'S':
                return true;
            default:
                break;
        }
    }
    return false;
}

std::vector<bool> date_styles(std::string_view styles_xml) {
    struct Reader {
        std::map<int, bool> custom;  // numFmtId -> shows a date
        std::vector<bool> styles;
        bool in_cell_formats = false;
        XmlPull xml;
        void feed(std::string_view chunk) {
            xml.feed(chunk);
            pump();
        }
        void finish() {
            xml.close();
            pump();
        }
        void pump() {
            XmlPull::Event event;
            while (xml.next(event)) {
                if (event.kind == XmlPull::Kind::kText) continue;
                if (event.name == "cellXfs") {
                    in_cell_formats = event.kind == XmlPull::Kind::kStart && !event.self_closing;
                } else if (event.kind == XmlPull::Kind::kStart && event.name == "numFmt") {
                    auto id = XmlPull::attribute(event.attrs, "numFmtId");
                    auto code = XmlPull::attribute(event.attrs, "formatCode");
                    if (id && code) custom[to_int(*id, -1)] = is_date_format(*code);
                } else if (event.kind == XmlPull::Kind::kStart && event.name == "xf" && in_cell_formats) {
                    auto id_text = XmlPull::attribute(event.attrs, "numFmtId");
                    int id = id_text ? to_int(*id_text, 0) : 0;
                    auto found = custom.find(id);
                    bool date = found != custom.end()
                                    ? found->second
                                    : (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
                                          (id >= 50 && id <= 58);
                    styles.push_back(date);
                }
            }
        }
    } reader;
    read_whole(reader, styles_xml);
    return reader.styles;
}

WorkbookInfo parse_workbook(std::string_view workbook_xml) {
    WorkbookInfo info;
    XmlPull xml;
    xml.feed(workbook_xml);
    xml.close();
    XmlPull::Event event;
    while (xml.next(event)) {
        if (event.kind != XmlPull::Kind::kStart) continue;
        if (event.name == "workbookPr") {
            auto flag = XmlPull::attribute(event.attrs, "date1904");
            info.date1904 = flag && (*flag == "1" || *flag == "true");
        } else if (event.name == "sheet") {
            auto name = XmlPull::attribute(event.attrs, "name");
            auto id = XmlPull::attribute(event.attrs, "id");
            auto state = XmlPull::attribute(event.attrs, "state");
            info.sheets.push_back({name.value_or(""), id.value_or(""), !state || *state == "visible"});
        }
    }
    return info;
}

std::map<std::string, Relationship> parse_relationships(std::string_view rels_xml) {
    std::map<std::string, Relationship> relations;
    XmlPull xml;
    xml.feed(rels_xml);
    xml.close();
    XmlPull::Event event;
    while (xml.next(event)) {
        if (event.kind != XmlPull::Kind::kStart || event.name != "Relationship") continue;
        auto id = XmlPull::attribute(event.attrs, "Id");
        if (!id) continue;
        relations[*id] = {XmlPull::attribute(event.attrs, "Type").value_or(""),
                          XmlPull::attribute(event.attrs, "Target").value_or("")};
    }
    return relations;
}

std::string workbook_part(std::string_view target) {
    if (!target.empty() && target[0] == '/') return std::string(target.substr(1));
    std::string part = "xl/";
    while (target.substr(0, 3) == "../") {
        target.remove_prefix(3);
        part.clear();
    }
    return part + std::string(target);
}

}  // namespace velutil
