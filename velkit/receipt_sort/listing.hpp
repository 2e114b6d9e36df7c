// How vel-kit lists this tool (see velkit/frame/tool_listing.hpp).
#pragma once
#include "velkit/frame/tool_listing.hpp"

namespace velkit::receipt_sort {

inline constexpr frame::ToolListing kListing{
    "receipt-sort", "receipt_sort", "Rename expense workbooks after their name and amount cells.", "excel"};

}  // namespace velkit::receipt_sort
