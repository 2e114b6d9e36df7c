#include "sheet_xml.hpp"

#include <algorithm>
#include <charconv>

#include "cell_reference.hpp"

namespace velutil {

namespace {

int to_int(std::string_view text, int fallback) {
    int value = fallback;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : fallback;
}

}  // namespace

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

void SheetCellReader::start(std::string_view name, const XmlAttributes& attributes) {
    if (name == "row") {
        auto r = attributes.get("r");
        row_ = r ? to_int(*r, row_ + 1) : row_ + 1;
        column_ = -1;
    } else if (name == "c") {
        auto r = attributes.get("r");
        std::optional<CellPosition> position = r ? parse_cell_position(*r) : std::nullopt;
        if (position) {
            column_ = position->column;
            row_ = position->row;
        } else {
            ++column_;
        }
        keep_ = row_ >= first_row_ && column_ >= 0 && column_ < kMaxColumns && wanted_[static_cast<size_t>(column_)];
        if (!keep_) return;
        auto t = attributes.get("t");
        auto s = attributes.get("s");
        SheetCell::Type type = SheetCell::Type::kNumber;
        if (t) {
            if (*t == "s") type = SheetCell::Type::kShared;
            else if (*t == "str" || *t == "inlineStr") type = SheetCell::Type::kText;
            else if (*t == "b") type = SheetCell::Type::kBool;
            else if (*t == "e") type = SheetCell::Type::kError;
            else if (*t == "d") type = SheetCell::Type::kIsoDate;
        }
        cell_ = SheetCell{row_, column_, type, std::string(), s ? to_int(*s, -1) : -1, false};
        inline_text_.clear();
        has_inline_ = false;
    } else if (keep_) {
        if (name == "v") in_value_ = true;
        else if (name == "t") in_text_ = true;
        else if (name == "is") has_inline_ = true;
        else if (name == "f") cell_.formula = true;
        else if (name == "rPh") ++phonetic_depth_;
    }
}

void SheetCellReader::text(std::string_view text) {
    if (!keep_ || phonetic_depth_ > 0) return;
    if (in_value_) cell_.value += text;
    if (in_text_) inline_text_ += text;
}

void SheetCellReader::end(std::string_view name) {
    if (name == "v") {
        in_value_ = false;
    } else if (name == "t") {
        in_text_ = false;
    } else if (name == "rPh") {
        if (phonetic_depth_ > 0) --phonetic_depth_;
    } else if (name == "c") {
        if (keep_) {
            // An inline string's own text is the value, whatever a <v> says.
            if (has_inline_) {
                cell_.value = std::move(inline_text_);
                cell_.type = SheetCell::Type::kText;
            }
            if (cell_.type == SheetCell::Type::kText) cell_.value = decode_sheet_escapes(cell_.value);
            if (!cell_.value.empty() || cell_.formula) cells_.push_back(std::move(cell_));
        }
        keep_ = in_value_ = in_text_ = false;
        phonetic_depth_ = 0;
    }
}

SharedStringReader::SharedStringReader(std::vector<size_t> wanted) : wanted_(std::move(wanted)) {
    std::sort(wanted_.begin(), wanted_.end());
}

void SharedStringReader::start(std::string_view name, const XmlAttributes&) {
    if (name == "si") {
        in_item_ = std::binary_search(wanted_.begin(), wanted_.end(), index_);
        text_.clear();
    } else if (name == "t") {
        in_text_ = true;
    } else if (name == "rPh") {
        ++phonetic_depth_;
    }
}

void SharedStringReader::text(std::string_view text) {
    if (in_item_ && in_text_ && phonetic_depth_ == 0) text_ += text;
}

void SharedStringReader::end(std::string_view name) {
    if (name == "si") {
        if (in_item_) strings_[index_] = decode_sheet_escapes(text_);
        in_item_ = false;
        ++index_;
    } else if (name == "t") {
        in_text_ = false;
    } else if (name == "rPh") {
        if (phonetic_depth_ > 0) --phonetic_depth_;
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

int zero_padding_width(std::string_view code) {
    if (code.size() < 2 || code.size() > 30 || code.find_first_not_of('0') != std::string_view::npos) return 0;
    return static_cast<int>(code.size());
}

namespace {

bool builtin_date(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

class FormatsReader : public XmlHandler {
public:
    std::vector<CellFormat> formats;

    void start(std::string_view name, const XmlAttributes& attributes) override {
        if (name == "cellXfs") {
            in_cell_formats_ = true;
        } else if (name == "numFmt") {
            auto id = attributes.get("numFmtId");
            auto code = attributes.get("formatCode");
            if (id && code) custom_[to_int(*id, -1)] = {is_date_format(*code), zero_padding_width(*code)};
        } else if (name == "xf" && in_cell_formats_) {
            auto id_text = attributes.get("numFmtId");
            int id = id_text ? to_int(*id_text, 0) : 0;
            auto found = custom_.find(id);
            formats.push_back(found != custom_.end() ? found->second : CellFormat{builtin_date(id), 0});
        }
    }
    void end(std::string_view name) override {
        if (name == "cellXfs") in_cell_formats_ = false;
    }
    void text(std::string_view) override {}

private:
    std::map<int, CellFormat> custom_;
    bool in_cell_formats_ = false;
};

class WorkbookReader : public XmlHandler {
public:
    WorkbookInfo info;

    void start(std::string_view name, const XmlAttributes& attributes) override {
        if (name == "workbookPr") {
            auto flag = attributes.get("date1904");
            info.date1904 = flag && (*flag == "1" || *flag == "true");
        } else if (name == "sheet") {
            auto state = attributes.get("state");
            info.sheets.push_back({std::string(attributes.get("name").value_or("")),
                                   std::string(attributes.get("id").value_or("")), !state || *state == "visible"});
        }
    }
    void end(std::string_view) override {}
    void text(std::string_view) override {}
};

class RelationshipsReader : public XmlHandler {
public:
    std::map<std::string, Relationship> relations;

    void start(std::string_view name, const XmlAttributes& attributes) override {
        if (name != "Relationship") return;
        auto id = attributes.get("Id");
        if (!id) return;
        relations[std::string(*id)] = {std::string(attributes.get("Type").value_or("")),
                                       std::string(attributes.get("Target").value_or(""))};
    }
    void end(std::string_view) override {}
    void text(std::string_view) override {}
};

}  // namespace

std::vector<CellFormat> cell_formats(std::string_view styles_xml) {
    FormatsReader reader;
    parse_xml(styles_xml, reader);
    return reader.formats;
}

std::vector<bool> date_styles(std::string_view styles_xml) {
    std::vector<bool> dates;
    for (const auto& format : cell_formats(styles_xml)) dates.push_back(format.date);
    return dates;
}

WorkbookInfo parse_workbook(std::string_view workbook_xml) {
    WorkbookReader reader;
    parse_xml(workbook_xml, reader);
    return reader.info;
}

std::map<std::string, Relationship> parse_relationships(std::string_view rels_xml) {
    RelationshipsReader reader;
    parse_xml(rels_xml, reader);
    return reader.relations;
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
