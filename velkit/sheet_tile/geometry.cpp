#include "geometry.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "pdf_numbers.hpp"

namespace velkit::sheet_tile {

bool has_printable_area(double page_width, double page_height, double margin) {
    return page_width - 2 * margin > 0 && page_height - 2 * margin > 0;
}

CellSize cell_size(const Grid& grid) {
    if (grid.cols < 1 || grid.rows < 1) throw std::invalid_argument("cols and rows must be at least 1");
    if (grid.cols > kMaxCellsPerSide || grid.rows > kMaxCellsPerSide) {
        throw std::invalid_argument("cols and rows must be at most " + std::to_string(kMaxCellsPerSide));
    }
    const double cols = static_cast<double>(grid.cols);
    const double rows = static_cast<double>(grid.rows);
    double usable_w = grid.page_width - 2 * grid.margin - (cols - 1) * grid.gutter;
    double usable_h = grid.page_height - 2 * grid.margin - (rows - 1) * grid.gutter;
    return {usable_w / cols, usable_h / rows};
}

bool has_cell_area(const Grid& grid) {
    CellSize cell = cell_size(grid);
    return cell.width > 0 && cell.height > 0;
}

Rect cell_rect(const Grid& grid, long slot) {
    CellSize cell = cell_size(grid);
    long on_page = slot % (grid.cols * grid.rows);
    long col = 0;
    long row = 0;
    switch (grid.order) {
        case FillOrder::kRows:
            col = on_page % grid.cols, row = on_page / grid.cols;
            break;
        case FillOrder::kColumns:
            col = on_page / grid.rows, row = on_page % grid.rows;
            break;
        case FillOrder::kRowsRightToLeft:
            col = grid.cols - 1 - on_page % grid.cols, row = on_page / grid.cols;
            break;
    }
    double x = grid.margin + static_cast<double>(col) * (cell.width + grid.gutter);
    double y = grid.page_height - grid.margin - static_cast<double>(row) * (cell.height + grid.gutter) - cell.height;
    return {x, y, cell.width, cell.height};
}

Turn turn_of(double rotate) {
    if (!std::isfinite(rotate)) return Turn::kNone;
    double turned = std::fmod(rotate, 360.0);
    if (turned < 0) turned += 360.0;
    if (turned == 90) return Turn::kQuarter;
    if (turned == 180) return Turn::kHalf;
    if (turned == 270) return Turn::kThreeQuarters;
    return Turn::kNone;
}

Turn add_turns(Turn first, Turn second) {
    return static_cast<Turn>((static_cast<int>(first) + static_cast<int>(second)) % 4);
}

Box box_from_corners(double x1, double y1, double x2, double y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::fabs(x2 - x1), std::fabs(y2 - y1)};
}

bool is_empty(const Box& box) { return !(box.width > 0 && box.height > 0); }

bool touches(const Box& a, const Box& b) {
    return a.left <= b.left + b.width && b.left <= a.left + a.width && a.bottom <= b.bottom + b.height &&
           b.bottom <= a.bottom + a.height;
}

double Matrix::scale() const { return std::sqrt(std::fabs(a * d - b * c)); }

Matrix Matrix::turn_only() const {
    double s = scale();
    if (s == 0) return {1, 0, 0, 1, 0, 0};
    return {a / s, b / s, c / s, d / s, 0, 0};
}

Matrix compose(const Matrix& first, const Matrix& second) {
    return {first.a * second.a + first.b * second.c,
            first.a * second.b + first.b * second.d,
            first.c * second.a + first.d * second.c,
            first.c * second.b + first.d * second.d,
            first.e * second.a + first.f * second.c + second.e,
            first.e * second.b + first.f * second.d + second.f};
}

Box map_box(const Matrix& m, const Box& box) {
    Point corners[] = {{box.left, box.bottom},
                       {box.left + box.width, box.bottom},
                       {box.left, box.bottom + box.height},
                       {box.left + box.width, box.bottom + box.height}};
    Point first = m.apply(corners[0]);
    double x1 = first.x, x2 = first.x, y1 = first.y, y2 = first.y;
    for (const Point& corner : corners) {
        Point p = m.apply(corner);
        x1 = std::min(x1, p.x), x2 = std::max(x2, p.x);
        y1 = std::min(y1, p.y), y2 = std::max(y2, p.y);
    }
    return {x1, y1, x2 - x1, y2 - y1};
}

std::optional<Fit> fit_page(const Box& crop, double rotate, const Rect& cell, bool rotate_to_fit) {
    Turn turn = turn_of(rotate);
    bool sideways = turn == Turn::kQuarter || turn == Turn::kThreeQuarters;
    double src_w = sideways ? crop.height : crop.width;
    double src_h = sideways ? crop.width : crop.height;
    if (src_w == 0 || src_h == 0) return std::nullopt;
    double scale = std::min(cell.width / src_w, cell.height / src_h);
    Turn extra = Turn::kNone;
    if (rotate_to_fit) {
        // A relative margin, so that a square page or one that fills its
        // cell alike either way stays upright despite rounding.
        double turned_scale = std::min(cell.width / src_h, cell.height / src_w);
        if (turned_scale > scale * (1 + 1e-9)) {
            extra = Turn::kThreeQuarters;
            turn = add_turns(turn, extra);
            std::swap(src_w, src_h);
            scale = turned_scale;
        }
    }
    scale *= kCellFill;
    double final_w = src_w * scale;
    double final_h = src_h * scale;
    return Fit{scale,
               cell.x + (cell.width - final_w) / 2,
               cell.y + (cell.height - final_h) / 2,
               crop.left,
               crop.bottom,
               src_w,
               src_h,
               turn,
               extra};
}

Matrix placement_matrix(const Fit& fit) {
    const double s = fit.scale;
    // u, v: the point relative to the crop box's lower-left corner; the
    // displayed page is src_w wide and src_h high.
    //   none: (u, v)             quarter (clockwise): (v, src_h - u)
    //   half: (src_w - u, src_h - v)   three quarters: (src_w - v, u)
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;  // in terms of u and v, before the offset
    switch (fit.turn) {
        case Turn::kNone:
            a = 1, d = 1;
            break;
        case Turn::kQuarter:
            c = 1, b = -1, f = fit.src_h;
            break;
        case Turn::kHalf:
            a = -1, d = -1, e = fit.src_w, f = fit.src_h;
            break;
        case Turn::kThreeQuarters:
            c = -1, b = 1, e = fit.src_w;
            break;
    }
    // Substitute u = x - x0, v = y - y0, then scale and move to (tx, ty).
    e -= a * fit.x0 + c * fit.y0;
    f -= b * fit.x0 + d * fit.y0;
    return {s * a, s * b, s * c, s * d, s * e + fit.tx, s * f + fit.ty};
}

std::string frame_content(const Rect& cell) {
    return "q 1 0 0 RG 2 w " + fixed_text(cell.x, 2) + " " + fixed_text(cell.y, 2) + " " + fixed_text(cell.width, 2) +
           " " + fixed_text(cell.height, 2) + " re S Q";
}

std::string placement_content(const Matrix& m, const std::string& name) {
    std::string text = "q";
    for (double value : {m.a, m.b, m.c, m.d, m.e, m.f}) text += " " + pdf_number(value);
    return text + " cm /" + name + " Do Q\n";
}

PagePlacement place_page(const SheetLayout& layout, long slot, const Box& crop, double rotate) {
    PagePlacement placement{cell_rect(layout.grid, slot), std::nullopt};
    placement.fit = fit_page(crop, rotate, placement.cell, layout.rotate_to_fit);
    if (placement.fit) placement.matrix = placement_matrix(*placement.fit);
    return placement;
}

std::string placement_note(long page_number, const std::string& file_name, double scale, double tx, double ty) {
    return "    Pg" + std::to_string(page_number) + ": " + file_name + " | Sc=" + fixed_text(scale, 2) +
           " | Loc=(" + fixed_text(tx, 1) + "," + fixed_text(ty, 1) + ")";
}

}  // namespace velkit::sheet_tile
