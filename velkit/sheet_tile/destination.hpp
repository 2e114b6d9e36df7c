// Where a link into a placed page goes on its sheet. A destination names a
// spot of a source page ("/XYZ left top zoom", "/FitH top", "/FitR l b r t",
// "/Fit", ...); on the sheet the same spot lies where the page's placement
// matrix puts it. Plain C++.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "geometry.hpp"

namespace velkit::sheet_tile {

// A destination's view type without the slash ("XYZ", "FitR") and its
// operands; an absent operand (PDF null) is nullopt.
struct ViewSpot {
    std::string kind;
    std::vector<std::optional<double>> operands;
};

// The destination on the sheet for `spot` on a page shown through `page_box`
// (the box the page was fitted by) and placed by `placement`. A rectangle
// ("FitR") stays a rectangle; every other kind becomes "XYZ" at the mapped
// top-left spot with the zoom left to the viewer, since a zoom chosen for a
// whole page means nothing for a cell of a sheet. Operands that are absent
// take the page box's edges. An unknown kind gives nullopt.
std::optional<ViewSpot> spot_on_sheet(const ViewSpot& spot, const Box& page_box, const Matrix& placement);

}  // namespace velkit::sheet_tile
