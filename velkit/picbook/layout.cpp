#include "layout.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace velkit::picbook {

double usable_height(double page_height, double top_margin, double bottom_margin) {
    return page_height - top_margin - bottom_margin;
}

double group_budget(double usable_h, double experiments_per_page) {
    if (!(experiments_per_page >= 1)) throw std::invalid_argument("experiments_per_page must be at least 1");
    return usable_h / experiments_per_page;
}

double column_width(double columns) {
    if (!(columns >= 1)) throw std::invalid_argument("cols_per_row must be at least 1");
    return (kAvailableWidth - (columns - 1) * kGutter) / columns;
}

int row_count(int images, double columns) {
    if (!(columns >= 1)) throw std::invalid_argument("cols_per_row must be at least 1");
    return static_cast<int>(std::ceil(images / columns));
}

CellSize cell_size(int num_rows, double column_w, double max_ratio, double budget_h, double title_buffer,
                   double row_gap) {
    double image_budget = budget_h - title_buffer;
    if (num_rows == 0) return {column_w, 0};
    double max_row_h = image_budget / num_rows - row_gap;
    double width_limited_h = column_w * max_ratio;
    if (width_limited_h > max_row_h) return {max_row_h / max_ratio, max_row_h};
    return {column_w, width_limited_h};
}

Placement place_group(double cursor_y, double budget_h, double page_height, double bottom_margin,
                      double top_margin) {
    double bottom_limit = page_height - bottom_margin;
    if (cursor_y + budget_h > bottom_limit) return Placement::kNewPage;
    if (cursor_y > top_margin + kHeaderHeight) return Placement::kSeparator;
    return Placement::kAsIs;
}

double column_x(int column, double cell_w) { return kMarginLR + column * (cell_w + kGutter); }

int usable_columns(long long requested) {
    // Columns of kMinColumnWidth with their gutters across the available width.
    auto fitting = static_cast<long long>((kAvailableWidth + kGutter) / (kMinColumnWidth + kGutter));
    return static_cast<int>(std::max(1LL, std::min(requested, fitting)));
}

Box fit_in_cell(double cell_x, double cell_y, double cell_w, double cell_h, double ratio) {
    double width = cell_w;
    double height = cell_w * ratio;
    if (height > cell_h) {
        height = cell_h;
        width = cell_h / ratio;
    }
    return {cell_x + (cell_w - width) / 2, cell_y + cell_h - height, width, height};
}

bool needs_continuation(const CellSize& cell, double column_w, double max_ratio) {
    return cell.height < std::min(kMinReadableHeight, column_w * max_ratio);
}

CellSize continuation_cell(double column_w, double max_ratio, double max_h) {
    double height = column_w * max_ratio;
    if (height > max_h) return {max_h / max_ratio, max_h};
    return {column_w, height};
}

double row_advance(double cell_h, double row_gap, double caption_h) {
    // One millimetre of air below a caption that outgrows the gap.
    return cell_h + std::max(row_gap, kCaptionGap + caption_h + 1);
}

std::string page_header_text(int page) { return "Lab Report - Page " + std::to_string(page); }

std::string figure_caption(int column, const std::string& caption) {
    return "Figure " + std::to_string(column + 1) + ":  " + caption;
}

}  // namespace velkit::picbook
