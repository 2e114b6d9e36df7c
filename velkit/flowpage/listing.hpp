// How vel-kit lists this tool (see velkit/frame/tool_listing.hpp).
#pragma once
#include "velkit/frame/tool_listing.hpp"

namespace velkit::flowpage {

inline constexpr frame::ToolListing kListing{
    "flowpage", "flowpage", "Convert .mmd and markdown files into static HTML pages.", "markdown"};

}  // namespace velkit::flowpage
