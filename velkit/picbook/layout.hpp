// Layout arithmetic of the lab report, in millimetres. Plain C++.
#pragma once
#include <string>

namespace velkit::picbook {

constexpr double kPageWidth = 210;
constexpr double kPageHeight = 297;
constexpr double kMarginLR = 15;
constexpr double kAvailableWidth = kPageWidth - 2 * kMarginLR;  // 180
constexpr double kGutter = 5;
constexpr double kFallbackRatio = 0.75;  // height over width of a 4:3 image
constexpr double kHeaderHeight = 10;     // the running header on pages 2+

// Height between the top and the bottom margin.
double usable_height(double page_height, double top_margin, double bottom_margin);

// A group's share of the usable height. Throws std::invalid_argument when
// experiments_per_page is below 1.
double group_budget(double usable_h, double experiments_per_page);

// Width of one of `columns` columns across the available width. Throws
// std::invalid_argument when columns is below 1.
double column_width(double columns);

// Rows needed for `images` images in `columns` columns.
int row_count(int images, double columns);

struct CellSize {
    double width;
    double height;
};

// The common cell of a group: as wide as a column unless the rows, with
// their gaps and the group's title, would not fit the budget; then as high
// as fits, keeping the ratio.
CellSize cell_size(int num_rows, double column_w, double max_ratio, double budget_h, double title_buffer,
                   double row_gap);

// Where the next group goes, decided once per group.
enum class Placement {
    kNewPage,    // its budget does not fit below the cursor
    kSeparator,  // below the cursor, after a grey rule
    kAsIs,       // right at the cursor (top of a page)
};
Placement place_group(double cursor_y, double budget_h, double page_height, double bottom_margin,
                      double top_margin);

// x of the column at index `column` for cells of width `cell_w`.
double column_x(int column, double cell_w);

// Below this a column has no room for an image and its caption: more
// columns than fit at this width are not used.
constexpr double kMinColumnWidth = 5;
int usable_columns(long long requested);

// An image drawn in its cell: its own ratio, as large as the cell allows,
// centred horizontally and standing on the cell's bottom edge, so that the
// captions of a row line up.
struct Box {
    double x;
    double y;
    double width;
    double height;
};
Box fit_in_cell(double cell_x, double cell_y, double cell_w, double cell_h, double ratio);

// Cells shorter than this are too small to read: such a group is laid out
// at the width-limited size and continues on the following pages.
constexpr double kMinReadableHeight = 25;
bool needs_continuation(const CellSize& cell, double column_w, double max_ratio);
// The width-limited cell, no higher than `max_h` (one row and its caption
// must fit a page).
CellSize continuation_cell(double column_w, double max_ratio, double max_h);

constexpr double kCaptionGap = 1;  // between a cell and its caption
// From one row's top to the next: the cell and the row gap, or more when
// the row's tallest caption needs more room than the gap.
double row_advance(double cell_h, double row_gap, double caption_h);

std::string page_header_text(int page);
std::string figure_caption(int column, const std::string& caption);

}  // namespace velkit::picbook
