// picbook as vel-kit and the frame know it (see velkit/frame/tool_descriptor.hpp).
#pragma once
#include "velkit/frame/tool_descriptor.hpp"

namespace velkit::picbook {

inline constexpr frame::ToolDescriptor kTool{
    "picbook",
    "picbook",
    "Build a PDF lab report from a folder of images.",
    "pdf",
    "PicBook",
    "PicBook: a PDF lab report from a folder of measurement images.",
    "os math json sys click velutil.app_logging velutil.fileMg velutil.parseTools",
    "config_picbook_template.json",
    "Generate a config_picbook_template.json in the current directory",
    "Command entry point for PicBook Generator",
    "Hint: Run 'vel-kit picbook --help' to see the template.",
};

}  // namespace velkit::picbook
