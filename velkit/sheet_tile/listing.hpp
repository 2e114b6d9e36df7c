// How vel-kit lists this tool (see velkit/frame/tool_listing.hpp).
#pragma once
#include "velkit/frame/tool_listing.hpp"

namespace velkit::sheet_tile {

inline constexpr frame::ToolListing kListing{
    "sheet-tile", "sheet_tile", "Merge multiple PDF files into a single layout report.", "pdf"};

}  // namespace velkit::sheet_tile
