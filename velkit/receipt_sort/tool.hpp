// receipt-sort as vel-kit and the frame know it (see velkit/frame/tool_descriptor.hpp).
#pragma once
#include "velkit/frame/tool_descriptor.hpp"

namespace velkit::receipt_sort {

inline constexpr frame::ToolDescriptor kTool{
    "receipt-sort",
    "receipt_sort",
    "Rename expense workbooks after their name and amount cells.",
    "excel",
    "ReceiptSort",
    "ReceiptSort: expense workbooks renamed after their name and amount cells.",
    "os re sys json click velutil.app_logging velutil.fileMg",
    "config_expense_template.json",
    "Generate a config_expense_template.json in the current directory",
    "Command entry point for Receipt Sort",
    "Hint: Run 'vel-kit receipt-sort --help' to see the template.",
};

}  // namespace velkit::receipt_sort
