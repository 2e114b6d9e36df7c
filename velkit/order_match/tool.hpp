// order-match as vel-kit and the frame know it (see velkit/frame/tool_descriptor.hpp).
#pragma once
#include "velkit/frame/tool_descriptor.hpp"

namespace velkit::order_match {

inline constexpr frame::ToolDescriptor kTool{
    "order-match",
    "order_match",
    "Order Match: Data processing and SOP generator.",
    "excel",
    "OrderMatch",
    "OrderMatch: system orders (CSV) matched against customer orders (Excel) on PO and QTY.",
    "os sys click velutil.fileMg velutil.dataIO velutil.app_logging velutil.excelTools",
    "config_order_match_template.json",
    "Generate config_order_match_template.json",
    "Order Match CLI Entry Point",
    "",
    "Path to JSON config file",
    "Template created: ",
    "Error: Please provide a JSON config file using -c.",
    false,
};

}  // namespace velkit::order_match
