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

double typical_ratio(std::vector<double> ratios) {
    if (ratios.empty()) return kFallbackRatio;
    std::sort(ratios.begin(), ratios.end());
    size_t middle = ratios.size() / 2;
    if (ratios.size() % 2 == 1) return ratios[middle];
    return std::sqrt(ratios[middle - 1] * ratios[middle]);
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

double drawn_longer_side(const CellSize& cell, double ratio) {
    if (cell.width <= 0 || cell.height <= 0) return 0;
    Box box = fit_in_cell(0, 0, cell.width, cell.height, ratio);
    return std::max(box.width, box.height);
}

Orientation exif_orientation(int value) {
    switch (value) {
        case 2: return {0, true};
        case 3: return {180, false};
        case 4: return {180, true};
        case 5: return {270, true};
        case 6: return {90, false};
        case 7: return {90, true};
        case 8: return {270, false};
        default: return {0, false};
    }
}

Box stored_box(const Box& shown, const Orientation& orientation) {
    if (!orientation.swaps_sides()) return shown;
    double cx = shown.x + shown.width / 2;
    double cy = shown.y + shown.height / 2;
    return {cx - shown.height / 2, cy - shown.width / 2, shown.height, shown.width};
}

double pixels_per_inch(double pixels, double millimetres) {
    return millimetres > 0 ? pixels * 25.4 / millimetres : 0;
}

PixelSize resampled_size(long width, long height, double drawn_w_mm, double max_dpi) {
    double ppi = pixels_per_inch(static_cast<double>(width), drawn_w_mm);
    if (max_dpi <= 0 || ppi <= max_dpi) return {width, height};
    double scale = max_dpi / ppi;
    // Rounded down: rounding up could leave the image a hair above the limit.
    auto scaled = [&](long side) { return std::max(1L, static_cast<long>(std::floor(side * scale))); };
    return {scaled(width), scaled(height)};
}

bool needs_continuation(const CellSize& cell, const CellSize& roomiest, const std::vector<double>& ratios) {
    // A hair of tolerance: the same cell computed two ways must not differ.
    constexpr double kTolerance = 1e-9;
    if (ratios.empty()) return cell.height < std::min(kMinReadableSide, roomiest.height) - kTolerance;
    for (double ratio : ratios) {
        double drawn = drawn_longer_side(cell, ratio);
        if (drawn < std::min(kMinReadableSide, drawn_longer_side(roomiest, ratio)) - kTolerance) return true;
    }
    return false;
}

CellSize continuation_cell(double column_w, double ratio, double max_h) {
    double height = column_w * ratio;
    if (height > max_h) return {max_h / ratio, max_h};
    return {column_w, height};
}

double row_advance(double cell_h, double row_gap, double caption_h) {
    // One millimetre of air below a caption that outgrows the gap.
    return cell_h + std::max(row_gap, kCaptionGap + caption_h + 1);
}

std::string page_header_text(int page) { return "Lab Report - Page " + std::to_string(page); }

int figure_number(FigureNumbers mode, int index_in_group, int columns, int before_group) {
    switch (mode) {
        case FigureNumbers::kRow:
            return index_in_group % std::max(1, columns) + 1;
        case FigureNumbers::kGroup:
            return index_in_group + 1;
        case FigureNumbers::kReport:
            break;
    }
    return before_group + index_in_group + 1;
}

std::string figure_caption(int number, const std::string& caption) {
    return "Figure " + std::to_string(number) + ":  " + caption;
}

}  // namespace velkit::picbook
