// The sample tool as vel-kit and the frame know it.
#pragma once
#include "velkit/frame/tool_descriptor.hpp"

namespace velkit::sample_tool {

inline constexpr frame::ToolDescriptor kTool{
    "sample-tool",
    "sample_tool",
    "Greet the names of a configuration (a tool built only for the tests).",
    "all",
    "SampleTool",
    "SampleTool: greets names, to show what a tool is made of.",
    "os sys click velutil.app_logging velutil.fileMg",
    "config_sample_tool_template.json",
    "Generate config_sample_tool_template.json",
    "Command entry point for the sample tool",
    "Hint: Run 'vel-kit sample-tool --generate-config' to get a template.",
};

}  // namespace velkit::sample_tool
