// How vel-kit lists this tool (see velkit/frame/tool_listing.hpp).
#pragma once
#include "velkit/frame/tool_listing.hpp"

namespace velkit::order_match {

inline constexpr frame::ToolListing kListing{
    "order-match", "order_match", "Order Match: Data processing and SOP generator.", "excel"};

}  // namespace velkit::order_match
