#include "destination.hpp"

#include <algorithm>

namespace velkit::sheet_tile {

namespace {

double operand(const ViewSpot& spot, std::size_t index, double fallback) {
    if (index < spot.operands.size() && spot.operands[index]) return *spot.operands[index];
    return fallback;
}

ViewSpot xyz_at(Point p) { return {"XYZ", {p.x, p.y, std::nullopt}}; }

}  // namespace

std::optional<ViewSpot> spot_on_sheet(const ViewSpot& spot, const Box& page_box, const Matrix& placement) {
    const double left = page_box.left;
    const double top = page_box.bottom + page_box.height;
    const std::string& kind = spot.kind;
    if (kind == "XYZ") return xyz_at(placement.apply({operand(spot, 0, left), operand(spot, 1, top)}));
    if (kind == "FitH" || kind == "FitBH") return xyz_at(placement.apply({left, operand(spot, 0, top)}));
    if (kind == "FitV" || kind == "FitBV") return xyz_at(placement.apply({operand(spot, 0, left), top}));
    if (kind == "Fit" || kind == "FitB") {
        // The top-left corner of the page as it is shown on the sheet.
        Box shown = map_box(placement, page_box);
        return xyz_at({shown.left, shown.bottom + shown.height});
    }
    if (kind == "FitR") {
        double x1 = operand(spot, 0, left), y1 = operand(spot, 1, page_box.bottom);
        double x2 = operand(spot, 2, left + page_box.width), y2 = operand(spot, 3, top);
        Box mapped = map_box(placement, box_from_corners(x1, y1, x2, y2));
        return ViewSpot{"FitR",
                        {mapped.left, mapped.bottom, mapped.left + mapped.width, mapped.bottom + mapped.height}};
    }
    return std::nullopt;
}

}  // namespace velkit::sheet_tile
