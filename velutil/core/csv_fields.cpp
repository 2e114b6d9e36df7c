#include "csv_fields.hpp"

#include <algorithm>
#include <climits>
#include <map>

#include "cell_values.hpp"
#include "text_kit.hpp"

namespace velutil {

namespace {

bool is_line_end(char c) { return c == '\n' || c == '\r'; }

// The offset after the line end at `at` ("\r\n" counts as one).
size_t after_line_end(std::string_view text, size_t at) {
    return at + ((text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1);
}

}  // namespace

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
    // Enough of the start for the first records; a long quoted field may
    // cut the last one short, which costs it little.
    constexpr size_t kMostBytes = 256 * 1024;
    constexpr int kMostRecords = 20;
    const char candidates[] = {',', ';', '\t', '|'};
    std::string_view start = text.substr(0, kMostBytes);
    char best = ',';
    double best_share = 0;
    size_t best_count = 1;
    for (char candidate : candidates) {
        CsvRecords records(start, candidate);
        std::vector<std::string> fields;
        std::map<size_t, int> counts;  // fields per record -> records
        int total = 0;
        while (total < kMostRecords && records.next(fields)) {
            if (fields.empty()) continue;  // blank lines say nothing
            ++counts[fields.size()];
            ++total;
        }
        if (total == 0) continue;
        auto common = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
            return a.second < b.second || (a.second == b.second && a.first < b.first);
        });
        if (common->first < 2) continue;
        double share = static_cast<double>(common->second) / total;
        if (share > best_share || (share == best_share && common->first > best_count)) {
            best = candidate;
            best_share = share;
            best_count = common->first;
        }
    }
    return best;
}

bool CsvRecords::next(std::vector<std::string>& fields) {
    fields.clear();
    unclosed_ = false;
    if (position_ >= text_.size()) return false;
    start_ = position_;
    if (is_line_end(text_[position_])) {  // a blank line
        position_ = after_line_end(text_, position_);
        return true;
    }
    if (!read_quoted(fields)) {
        fields.clear();
        position_ = start_;
        read_plain_line(fields);
        unclosed_ = true;
    }
    return true;
}

bool CsvRecords::read_quoted(std::vector<std::string>& fields) {
    enum class State { kStartField, kInField, kInQuoted, kQuoteInQuoted };
    State state = State::kStartField;
    std::string field;
    const size_t size = text_.size();
    size_t i = position_;
    while (i < size) {
        char c = text_[i];
        switch (state) {
            case State::kStartField:
                if (c == '"') {
                    state = State::kInQuoted;
                    ++i;
                    continue;
                }
                state = State::kInField;
                continue;
            case State::kInQuoted: {
                // The run up to the next quote is data, line breaks included.
                size_t quote = text_.find('"', i);
                if (quote == std::string_view::npos) return false;
                field.append(text_.data() + i, quote - i);
                i = quote + 1;
                state = State::kQuoteInQuoted;
                continue;
            }
            case State::kQuoteInQuoted:
                if (c == '"') {  // "" is one quote
                    field += '"';
                    ++i;
                    state = State::kInQuoted;
                    continue;
                }
                state = State::kInField;
                continue;
            case State::kInField:
                break;
        }
        // Unquoted: up to the next delimiter or line end; quotes are data.
        size_t end = i;
        while (end < size && text_[end] != delimiter_ && !is_line_end(text_[end])) ++end;
        field.append(text_.data() + i, end - i);
        i = end;
        if (i >= size) break;
        fields.push_back(std::move(field));
        field.clear();
        if (text_[i] == delimiter_) {
            ++i;
            state = State::kStartField;
            if (i >= size) fields.emplace_back();  // "a," ends with an empty field
            continue;
        }
        position_ = after_line_end(text_, i);
        return true;
    }
    if (state == State::kInQuoted) return false;
    if (state != State::kStartField || i == position_) fields.push_back(std::move(field));
    position_ = size;
    return true;
}

void CsvRecords::read_plain_line(std::vector<std::string>& fields) {
    size_t end = position_;
    while (end < text_.size() && !is_line_end(text_[end])) ++end;
    std::string_view line = text_.substr(position_, end - position_);
    size_t from = 0;
    for (size_t at; (at = line.find(delimiter_, from)) != std::string_view::npos; from = at + 1) {
        fields.emplace_back(line.substr(from, at - from));
    }
    fields.emplace_back(line.substr(from));
    position_ = end < text_.size() ? after_line_end(text_, end) : end;
}

SelectedFields select_csv_fields(std::string_view text, char delimiter, const std::vector<CellReference>& references,
                                 const std::vector<size_t>& marks) {
    SelectedFields selected;
    selected.columns.resize(references.size());
    int first_row = INT_MAX;
    for (const auto& reference : references) first_row = std::min(first_row, reference.row);

    CsvRecords records(text, delimiter);
    std::vector<std::string> fields;
    std::vector<std::optional<std::string>> row(references.size());
    auto mark = marks.begin();
    int number = 0;
    auto note_marks = [&](size_t end, int record) {
        bool any = false;
        while (mark != marks.end() && *mark < end) {
            any = true;
            ++mark;
        }
        if (any) selected.marked_rows.push_back(record);
    };
    for (; records.next(fields); ++number) {
        // The marks before this record's start belong to the one before.
        if (number > 0) note_marks(records.last_start(), number);
        if (records.last_was_unclosed()) selected.unclosed_rows.push_back(number + 1);
        if (references.empty() || number + 1 < first_row) continue;
        bool any = false;
        for (size_t k = 0; k < references.size(); ++k) {
            const CellReference& reference = references[k];
            auto column = static_cast<size_t>(reference.column);
            row[k].reset();
            if (number + 1 >= reference.row && column < fields.size() && !is_blank_text(fields[column])) {
                row[k] = fields[column];
                any = true;
            }
        }
        if (!any) continue;
        for (size_t k = 0; k < references.size(); ++k) selected.columns[k].push_back(std::move(row[k]));
        selected.row_numbers.push_back(number + 1);
        ++selected.rows;
    }
    if (number > 0) note_marks(text.size() + 1, number);
    return selected;
}

}  // namespace velutil
