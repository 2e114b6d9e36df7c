#include "csv_fields.hpp"

#include <algorithm>
#include <climits>

#include "cell_values.hpp"
#include "text_kit.hpp"

namespace velutil {

std::string cp1252_to_utf8(std::string_view text) {
    // 0x80..0x9F; the rest of the upper half is Latin-1.
    static const unsigned short kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        unsigned int code = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        append_utf8(out, code);
    }
    return out;
}

std::optional<SepLine> sep_line(std::string_view text) {
    if (text.size() < 5 || text.substr(0, 4) != "sep=") return std::nullopt;
    char delimiter = text[4];
    if (delimiter == '\n' || delimiter == '\r' || delimiter == '"') return std::nullopt;
    size_t end = 5;
    while (end < text.size() && text[end] == ' ') ++end;
    if (end < text.size() && text[end] != '\n' && text[end] != '\r') return std::nullopt;
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    return SepLine{delimiter, text.substr(end)};
}

char detect_delimiter(std::string_view text) {
    const char candidates[] = {',', ';', '\t'};
    size_t counts[3] = {0, 0, 0};
    bool quoted = false;
    int lines = 0;
    for (size_t i = 0; i < text.size() && lines < 20; ++i) {
        char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == '\n' || c == '\r')) {
            ++lines;
        } else if (!quoted) {
            for (int k = 0; k < 3; ++k) counts[k] += c == candidates[k];
        }
    }
    int best = 0;
    for (int k = 1; k < 3; ++k) {
        if (counts[k] > counts[best]) best = k;
    }
    return candidates[best];
}

bool CsvRecords::next(std::vector<std::string>& fields) {
    fields.clear();
    if (position_ >= text_.size()) return false;
    std::string field;
    bool quoted = false;
    size_t i = position_;
    const size_t size = text_.size();
    while (i < size) {
        char c = text_[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < size && text_[i + 1] == '"') {
                    field += '"';
                    i += 2;
                    continue;
                }
                quoted = false;
                ++i;
                continue;
            }
            // Copy the run up to the next quote at once.
            size_t end = text_.find('"', i);
            if (end == std::string_view::npos) end = size;
            field.append(text_.data() + i, end - i);
            i = end;
            continue;
        }
        if (c == '"') {
            quoted = true;
            ++i;
        } else if (c == delimiter_) {
            fields.push_back(std::move(field));
            field.clear();
            ++i;
        } else if (c == '\n' || c == '\r') {
            i += (c == '\r' && i + 1 < size && text_[i + 1] == '\n') ? 2 : 1;
            break;
        } else {
            size_t end = i;
            while (end < size && text_[end] != '"' && text_[end] != delimiter_ && text_[end] != '\n' &&
                   text_[end] != '\r') {
                ++end;
            }
            field.append(text_.data() + i, end - i);
            i = end;
        }
    }
    fields.push_back(std::move(field));
    position_ = i;
    return true;
}

SelectedFields select_csv_fields(std::string_view text, char delimiter, const std::vector<CellReference>& references) {
    SelectedFields selected;
    selected.columns.resize(references.size());
    int first_row = INT_MAX;
    for (const auto& reference : references) first_row = std::min(first_row, reference.row);
    if (references.empty()) return selected;

    CsvRecords records(text, delimiter);
    std::vector<std::string> fields;
    std::vector<std::optional<std::string>> row(references.size());
    for (int number = 1; records.next(fields); ++number) {
        if (number < first_row) continue;
        bool any = false;
        for (size_t k = 0; k < references.size(); ++k) {
            const CellReference& reference = references[k];
            auto column = static_cast<size_t>(reference.column);
            row[k].reset();
            if (number >= reference.row && column < fields.size() && !is_blank_text(fields[column])) {
                row[k] = fields[column];
                any = true;
            }
        }
        if (!any) continue;
        for (size_t k = 0; k < references.size(); ++k) selected.columns[k].push_back(std::move(row[k]));
        selected.row_numbers.push_back(number);
        ++selected.rows;
    }
    return selected;
}

}  // namespace velutil
