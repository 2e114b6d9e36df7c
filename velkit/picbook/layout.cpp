#include "layout.hpp"

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

std::string page_header_text(int page) { return "Lab Report - Page " + std::to_string(page); }

std::string figure_caption(int column, const std::string& caption) {
    return "Figure " + std::to_string(column + 1) + ":  " + caption;
}

}  // namespace velkit::picbook
