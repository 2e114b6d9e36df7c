#include "ods_sheets.hpp"

#include <algorithm>
#include <charconv>

#include "cell_reference.hpp"

namespace velutil {

namespace {

// A repeat count; the reader refuses a file whose count is no number, so
// what such a count stands for here does not matter.
uint64_t repeats(const XmlAttributes& attributes, std::string_view name) {
    auto text = attributes.exact(name);
    if (!text) return 1;
    uint64_t count = 1;
    auto result = std::from_chars(text->data(), text->data() + text->size(), count);
    return result.ec == std::errc() && result.ptr == text->data() + text->size() ? count : 1;
}

// The reader goes by the usual prefixes, and so do we.
bool holds_something(const XmlAttributes& attributes) {
    for (const char* value : {"office:value", "office:string-value", "office:date-value", "office:time-value",
                              "office:boolean-value"}) {
        if (attributes.exact(value)) return true;
    }
    // A string cell without a value attribute has its text for a value,
    // even an empty one.
    if (attributes.exact("office:value-type") == std::string_view("string")) return true;
    auto formula = attributes.exact("table:formula");
    return formula && !formula->empty();
}

}  // namespace

void OdsSpanReader::start(std::string_view name, const XmlAttributes& attributes) {
    if (skipped_depth_ > 0) {
        ++skipped_depth_;
        return;
    }
    if (!in_sheet_) {
        auto sheet_name = attributes.exact("table:name");
        if (name != "table" || !sheet_name) return;
        in_sheet_ = true;
        row_ = 0;
        spans_.emplace_back();
        spans_.back().name = std::string(*sheet_name);
    } else if (in_row_) {
        if (name == "table-cell" || name == "covered-table-cell") cell(attributes);
        skipped_depth_ = 1;
    } else if (name == "table-row") {
        in_row_ = true;
        row_repeats_ = std::min(repeats(attributes, "table:number-rows-repeated"), kMaxRows - row_);
        column_ = 0;
        empty_columns_ = 0;
    }
}

void OdsSpanReader::cell(const XmlAttributes& attributes) {
    uint64_t count = repeats(attributes, "table:number-columns-repeated");
    if (!holds_something(attributes)) {
        // Kept only when something follows in the row.
        empty_columns_ += std::min(count, kMaxColumns - column_ - empty_columns_);
        return;
    }
    column_ += empty_columns_;
    empty_columns_ = 0;
    count = std::min(count, kMaxColumns - column_);
    if (count == 0 || row_repeats_ == 0) return;
    SheetSpan& span = spans_.back();
    span.add(static_cast<uint32_t>(row_), static_cast<uint32_t>(column_), count * row_repeats_);
    span.add(static_cast<uint32_t>(row_ + row_repeats_ - 1), static_cast<uint32_t>(column_ + count - 1), 0);
    column_ += count;
}

void OdsSpanReader::end(std::string_view name) {
    if (skipped_depth_ > 0) {
        --skipped_depth_;
    } else if (in_row_ && name == "table-row") {
        in_row_ = false;
        row_ += row_repeats_;
    } else if (in_sheet_ && !in_row_ && name == "table") {
        in_sheet_ = false;
    }
}

void OdsManifestReader::start(std::string_view name, const XmlAttributes&) {
    if (name == "encryption-data") encrypted_ = true;
}

}  // namespace velutil
