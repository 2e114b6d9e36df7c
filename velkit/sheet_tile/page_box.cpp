#include "page_box.hpp"

#include <algorithm>

namespace velkit::sheet_tile {

std::optional<ShownBox> shown_box(const Box& media, const std::optional<Box>& crop) {
    if (is_empty(media)) return std::nullopt;
    if (!crop) return ShownBox{media, false};
    if (is_empty(*crop)) return ShownBox{media, true};
    const double left = std::max(media.left, crop->left);
    const double bottom = std::max(media.bottom, crop->bottom);
    const double right = std::min(media.left + media.width, crop->left + crop->width);
    const double top = std::min(media.bottom + media.height, crop->bottom + crop->height);
    Box clipped{left, bottom, right - left, top - bottom};
    if (clipped.width <= 0 || clipped.height <= 0) return ShownBox{media, true};
    return ShownBox{clipped, false};
}

std::optional<Box> bounds_of_points(const std::vector<double>& flat) {
    if (flat.size() < 2) return std::nullopt;
    double left = flat[0], right = flat[0], bottom = flat[1], top = flat[1];
    for (size_t i = 0; i + 1 < flat.size(); i += 2) {
        left = std::min(left, flat[i]);
        right = std::max(right, flat[i]);
        bottom = std::min(bottom, flat[i + 1]);
        top = std::max(top, flat[i + 1]);
    }
    return Box{left, bottom, right - left, top - bottom};
}

bool drawn_on(const std::string& subtype, const Box& rect, const std::vector<double>& quad_points, const Box& shown) {
    if (touches(rect, shown)) return true;
    const bool markup = subtype == "Highlight" || subtype == "Underline" || subtype == "Squiggly" ||
                        subtype == "StrikeOut";
    if (!markup) return false;
    std::optional<Box> quads = bounds_of_points(quad_points);
    return quads && touches(*quads, shown);
}

}  // namespace velkit::sheet_tile
