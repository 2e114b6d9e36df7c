// Geometry of the N-up sheet, in PDF points with the origin at the lower
// left: the grid of cells on an output page and the order they fill in, the
// fit of a source page into a cell with its /Rotate entry, the matrix that
// draws it there, and the content of a cell's frame. Plain C++. The seam
// that a PDF engine uses to draw one page is `place_page` at the end.
#pragma once
#include <optional>
#include <string>

namespace velkit::sheet_tile {

// Share of a cell's smaller side that a page may use: a 5 % border.
constexpr double kCellFill = 0.95;

struct Rect {
    double x;  // lower-left corner
    double y;
    double width;
    double height;
};

struct Point {
    double x;
    double y;
};

// Most columns or rows a sheet can have; keeps cols x rows far from any
// overflow.
constexpr long kMaxCellsPerSide = 1000;

// The order in which the cells of a sheet fill: along the rows from the top
// left ("rows"), down the columns from the top left ("columns"), or along
// the rows from the top right ("rows_rtl").
enum class FillOrder { kRows, kColumns, kRowsRightToLeft };

// The output page and its division into cols x rows equal cells inside a
// margin that is the same on all four sides, `gutter` points apart.
struct Grid {
    double page_width;
    double page_height;
    double margin;
    long cols;
    long rows;
    double gutter = 0;
    FillOrder order = FillOrder::kRows;
};

struct CellSize {
    double width;
    double height;
};

// Whether a margin leaves a printable area of positive width and height.
bool has_printable_area(double page_width, double page_height, double margin);

// The size of every cell. Throws std::invalid_argument when cols or rows is
// below 1 or above kMaxCellsPerSide. A gutter that leaves no room gives a
// size of 0 or less: see `has_cell_area`.
CellSize cell_size(const Grid& grid);

// Whether the margin and the gutters leave every cell a positive area.
bool has_cell_area(const Grid& grid);

// The cell of slot `slot`, the slot-th cell in the grid's fill order (slot
// 0 is the top left cell, or the top right one for kRowsRightToLeft);
// slots beyond the page wrap around like the slot of the next page.
Rect cell_rect(const Grid& grid, long slot);

// How a page's /Rotate entry turns it when displayed, clockwise. The entry
// counts modulo 360, as viewers take it (-90 is 270, 450 is 90); a value
// that is no multiple of 90 (45, 90.5) turns nothing.
enum class Turn { kNone, kQuarter, kHalf, kThreeQuarters };
Turn turn_of(double rotate);

// `first`, then `second`, both clockwise.
Turn add_turns(Turn first, Turn second);

// A crop box given by two opposite corners in any order.
struct Box {
    double left;
    double bottom;
    double width;
    double height;
};
Box box_from_corners(double x1, double y1, double x2, double y2);

// Whether the box has no area (a page a viewer cannot show).
bool is_empty(const Box& box);

// Whether two boxes share at least a point; a box that lies entirely
// outside the other does not.
bool touches(const Box& a, const Box& b);

// A source page fitted into a cell: scaled uniformly to kCellFill of the
// cell and centred in it. src_w and src_h are the page's size as it is
// drawn (crop-box sides swapped for a quarter turn); (tx, ty) is where the
// lower-left corner of the scaled, turned page goes. `turn` is the whole
// clockwise turn the page is drawn with: its /Rotate entry and `extra`.
struct Fit {
    double scale;
    double tx;
    double ty;
    double x0;  // crop box's lower-left corner
    double y0;
    double src_w;
    double src_h;
    Turn turn;
    // The turn added to make the page fill its cell better: kThreeQuarters
    // (a quarter counter-clockwise, the page's top to the cell's left
    // edge) or kNone.
    Turn extra = Turn::kNone;
};

// Nothing when the crop box has no area. With `rotate_to_fit`, a page that
// would be drawn larger after a quarter turn (a landscape page in a
// portrait cell) is turned a quarter counter-clockwise besides its /Rotate
// entry; a page that fills its cell as well either way is not turned.
std::optional<Fit> fit_page(const Box& crop, double rotate, const Rect& cell, bool rotate_to_fit = false);

// An affine map in PDF's order: x' = a x + c y + e, y' = b x + d y + f.
struct Matrix {
    double a, b, c, d, e, f;
    Point apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    // How much the map scales lengths.
    double scale() const;
    // The turn alone, without scale and offset: what an annotation's
    // appearance needs, since a viewer fits it into its mapped /Rect.
    Matrix turn_only() const;
};

// `first`, then `second`.
Matrix compose(const Matrix& first, const Matrix& second);

// The box that the four corners of `box` land in.
Box map_box(const Matrix& m, const Box& box);

// Maps the source page's content so that the page appears turned by
// fit.turn (clockwise, as viewers show a /Rotate entry), scaled and with its
// drawn lower-left corner at (tx, ty): the crop box lands exactly on the
// rectangle (tx, ty, src_w * scale, src_h * scale).
Matrix placement_matrix(const Fit& fit);

// Content operators of a red, 2-point frame around `cell`.
std::string frame_content(const Rect& cell);

// Content operators that draw the form XObject `name` (without the slash)
// through `m`.
std::string placement_content(const Matrix& m, const std::string& name);

// How the pages are put on a sheet besides its grid.
struct SheetLayout {
    Grid grid;
    bool rotate_to_fit = false;
};

// One source page on its sheet: everything a PDF engine needs to draw it.
// This is the only place where the layout choices (sheet size, fill order,
// gutter, turning to fit) reach the drawing, so every engine that places
// pages goes through `place_page`.
struct PagePlacement {
    Rect cell;               // the cell the page occupies (and a debug frame outlines)
    std::optional<Fit> fit;  // nothing when the page has no area: its cell stays empty
    // Source user space to sheet space: draws the page's form XObject
    // (bounded by `crop`) through `cm`, and maps its annotations' points.
    // The identity when there is no fit.
    Matrix matrix{1, 0, 0, 1, 0, 0};
};

// The placement of a page whose crop box is `crop` and whose /Rotate entry
// is `rotate` in slot `slot` of a sheet laid out as `layout`.
PagePlacement place_page(const SheetLayout& layout, long slot, const Box& crop, double rotate);

// The debug line for one placed page.
std::string placement_note(long page_number, const std::string& file_name, double scale, double tx, double ty);

}  // namespace velkit::sheet_tile
