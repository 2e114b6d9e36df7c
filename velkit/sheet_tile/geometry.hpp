// Geometry of the N-up sheet, in PDF points with the origin at the lower
// left: the grid of cells on an output page, the fit of a source page into
// a cell with its /Rotate entry, the matrix that draws it there, and the
// content of a cell's frame. Plain C++.
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

// The output page and its division into cols x rows equal cells inside a
// margin that is the same on all four sides. There is no gap between cells.
struct Grid {
    double page_width;
    double page_height;
    double margin;
    long cols;
    long rows;
};

struct CellSize {
    double width;
    double height;
};

// Whether a margin leaves a printable area of positive width and height.
bool has_printable_area(double page_width, double page_height, double margin);

// The size of every cell. Throws std::invalid_argument when cols or rows is
// below 1 or above kMaxCellsPerSide.
CellSize cell_size(const Grid& grid);

// The cell of slot `slot` (0 = top left, then along the row, then the rows
// downwards); slots beyond the page wrap around like the slot of the next
// page.
Rect cell_rect(const Grid& grid, long slot);

// How a page's /Rotate entry turns it when displayed, clockwise. The entry
// counts modulo 360, as viewers take it (-90 is 270, 450 is 90); a value
// that is no multiple of 90 (45, 90.5) turns nothing.
enum class Turn { kNone, kQuarter, kHalf, kThreeQuarters };
Turn turn_of(double rotate);

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
// displayed (crop-box sides swapped for a quarter turn); (tx, ty) is where
// the lower-left corner of the scaled, turned page goes.
struct Fit {
    double scale;
    double tx;
    double ty;
    double x0;  // crop box's lower-left corner
    double y0;
    double src_w;
    double src_h;
    Turn turn;
};

// Nothing when the crop box has no area.
std::optional<Fit> fit_page(const Box& crop, double rotate, const Rect& cell);

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

// Maps the source page's content so that the page appears turned by its
// /Rotate entry (clockwise, as viewers show it), scaled and with its
// displayed lower-left corner at (tx, ty): the crop box lands exactly on
// the rectangle (tx, ty, src_w * scale, src_h * scale).
Matrix placement_matrix(const Fit& fit);

// Content operators of a red, 2-point frame around `cell`.
std::string frame_content(const Rect& cell);

// Content operators that draw the form XObject `name` (without the slash)
// through `m`.
std::string placement_content(const Matrix& m, const std::string& name);

// The debug line for one placed page.
std::string placement_note(long page_number, const std::string& file_name, double scale, double tx, double ty);

}  // namespace velkit::sheet_tile
