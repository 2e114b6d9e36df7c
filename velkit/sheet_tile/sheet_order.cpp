#include "sheet_order.hpp"

#include <algorithm>
#include <numeric>

#include "text_kit.hpp"

namespace velkit::sheet_tile {

const char* const kFillOrderNames = "\"rows\", \"columns\" or \"rows_rtl\"";
const char* const kNameOrderNames = "\"name\" or \"natural\"";

std::optional<FillOrder> fill_order_named(const std::string& name) {
    if (name == "rows") return FillOrder::kRows;
    if (name == "columns") return FillOrder::kColumns;
    if (name == "rows_rtl") return FillOrder::kRowsRightToLeft;
    return std::nullopt;
}

std::optional<NameOrder> name_order_named(const std::string& name) {
    if (name == "name") return NameOrder::kName;
    if (name == "natural") return NameOrder::kNatural;
    return std::nullopt;
}

std::vector<size_t> merge_order(const std::vector<std::string>& names, NameOrder order) {
    std::vector<size_t> positions(names.size());
    std::iota(positions.begin(), positions.end(), size_t{0});
    auto by_bytes = [&](size_t a, size_t b) { return names[a] < names[b]; };
    auto naturally = [&](size_t a, size_t b) { return ::velutil::natural_less(names[a], names[b]); };
    if (order == NameOrder::kNatural) {
        std::stable_sort(positions.begin(), positions.end(), naturally);
    } else {
        std::stable_sort(positions.begin(), positions.end(), by_bytes);
    }
    return positions;
}

CellCursor::CellCursor(long cells_per_sheet, bool sheet_per_file)
    : cells_per_sheet_(std::max(cells_per_sheet, 1L)), sheet_per_file_(sheet_per_file) {}

void CellCursor::begin_file() { file_begins_ = true; }

CellCursor::Spot CellCursor::next() const {
    bool fresh = !started_ || used_ >= cells_per_sheet_ || (sheet_per_file_ && file_begins_ && used_ > 0);
    return {fresh, fresh ? 0 : used_};
}

void CellCursor::take() {
    Spot spot = next();
    started_ = true;
    used_ = spot.slot + 1;
    file_begins_ = false;
}

}  // namespace velkit::sheet_tile
