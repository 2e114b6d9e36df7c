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
        row_cells_ = row_values_ = pending_empty_ = 0;
    }
}

void OdsSpanReader::cell(const XmlAttributes& attributes) {
    // As the reader does: the empty cells before are held once another
    // cell follows, and nothing past the last column.
    row_cells_ += pending_empty_;
    pending_empty_ = 0;
    uint64_t count = std::min(repeats(attributes, "table:number-columns-repeated"), kMaxColumns - row_cells_);
    if (!holds_something(attributes)) {
        pending_empty_ = count;
        return;
    }
    if (count > 0 && row_repeats_ > 0) {
        SheetSpan& span = spans_.back();
        span.add(static_cast<uint32_t>(row_), static_cast<uint32_t>(row_cells_), count * row_repeats_);
        span.add(static_cast<uint32_t>(row_ + row_repeats_ - 1), static_cast<uint32_t>(row_cells_ + count - 1), 0);
    }
    row_cells_ += count;
    row_values_ += count;
}

void OdsSpanReader::end(std::string_view name) {
    if (skipped_depth_ > 0) {
        --skipped_depth_;
    } else if (in_row_ && name == "table-row") {
        in_row_ = false;
        row_ += row_repeats_;
        // A row repeated is held once (and rows past the last are held too).
        spans_.back().buffered += row_cells_;
        spans_.back().buffered_values += row_values_;
    } else if (in_sheet_ && !in_row_ && name == "table") {
        in_sheet_ = false;
    }
}

void OdsManifestReader::start(std::string_view name, const XmlAttributes&) {
    if (name == "encryption-data") encrypted_ = true;
}

}  // namespace velutil
