// Layout arithmetic of the lab report, in millimetres. Plain C++.
#pragma once
#include <string>
#include <vector>

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

// The shape a group's cells take (height over width): the median of its
// images' ratios, so that one odd image (a colour bar, a portrait photo
// among plots) does not set the cell of all the others. With an even count
// the two middle ratios meet halfway on a log scale. Empty: 0.75.
double typical_ratio(std::vector<double> ratios);

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

// How an image stored with an EXIF orientation (1 to 8) is shown: mirrored
// left to right first (when `mirrored`), then turned clockwise by
// `clockwise_degrees`. The placement draws the stored pixels this way, so
// that the file is embedded as it is. Values outside 1 to 8 count as 1.
struct Orientation {
    int clockwise_degrees = 0;  // 0, 90, 180 or 270
    bool mirrored = false;
    bool swaps_sides() const { return clockwise_degrees == 90 || clockwise_degrees == 270; }
};
Orientation exif_orientation(int value);

// The box the stored image is drawn in, before it is turned about the
// shown box's centre: the same centre, its sides swapped when the turn
// swaps them.
Box stored_box(const Box& shown, const Orientation& orientation);

// Pixels per inch of `pixels` drawn over `millimetres`.
double pixels_per_inch(double pixels, double millimetres);
// The pixel size (width, height) an image of `width` x `height` pixels
// drawn `drawn_w_mm` wide is resampled to so that it has at most `max_dpi`
// pixels per inch; the size it has when it is already within. Never below
// one pixel.
struct PixelSize {
    long width;
    long height;
};
PixelSize resampled_size(long width, long height, double drawn_w_mm, double max_dpi);

// The longer side of an image of `ratio` as drawn in a cell.
double drawn_longer_side(const CellSize& cell, double ratio);

// A drawn image whose longer side is below this is too small to read: when
// the group's share of a page draws one of its images smaller than that,
// and the roomiest cell a page can hold would draw it larger, the group is
// laid out in the roomiest cell and continues on the following pages.
constexpr double kMinReadableSide = 25;
bool needs_continuation(const CellSize& cell, const CellSize& roomiest, const std::vector<double>& ratios);
// The width-limited cell, no higher than `max_h` (one row and its caption
// must fit a page).
CellSize continuation_cell(double column_w, double ratio, double max_h);

constexpr double kCaptionGap = 1;  // between a cell and its caption
// From one row's top to the next: the cell and the row gap, or more when
// the row's tallest caption needs more room than the gap.
double row_advance(double cell_h, double row_gap, double caption_h);

std::string page_header_text(int page);

// How "Figure N" counts: within each row, within each group, or through
// the whole report.
enum class FigureNumbers { kRow, kGroup, kReport };
// The 1-based number of the image at 0-based `index_in_group` in a grid of
// `columns`, after `before_group` figures of earlier groups.
int figure_number(FigureNumbers mode, int index_in_group, int columns, int before_group);
std::string figure_caption(int number, const std::string& caption);

}  // namespace velkit::picbook
