// Which part of a source page a viewer shows, and where an annotation is
// drawn, from the numbers of its boxes. Plain C++.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "geometry.hpp"

namespace velkit::sheet_tile {

// The part of the page that is shown: the crop box clipped to the media
// box. A crop box without area, or one entirely outside the media box,
// shows the media box (`fell_back` tells the caller to warn). Nothing when
// the media box itself has no area: such a page cannot be shown at all.
struct ShownBox {
    Box box;
    bool fell_back = false;
};
std::optional<ShownBox> shown_box(const Box& media, const std::optional<Box>& crop);

// The smallest box holding the points of `flat` (x1 y1 x2 y2 ...); nothing
// when it holds no whole point.
std::optional<Box> bounds_of_points(const std::vector<double>& flat);

// Whether an annotation of `subtype` (without the slash) with `rect` and
// `quad_points` (empty when it has none) is drawn on `shown`. Viewers draw
// text markup (highlight, underline, squiggly, strike-out) by its
// QuadPoints, so one whose /Rect lies off the page but whose quads are on
// it is seen.
bool drawn_on(const std::string& subtype, const Box& rect, const std::vector<double>& quad_points, const Box& shown);

}  // namespace velkit::sheet_tile
