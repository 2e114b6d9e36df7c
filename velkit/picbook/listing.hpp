// How vel-kit lists this tool (see velkit/frame/tool_listing.hpp).
#pragma once
#include "velkit/frame/tool_listing.hpp"

namespace velkit::picbook {

inline constexpr frame::ToolListing kListing{
    "picbook", "picbook", "Build a PDF lab report from a folder of images.", "pdf"};

}  // namespace velkit::picbook
