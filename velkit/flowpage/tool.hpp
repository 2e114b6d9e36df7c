// flowpage as vel-kit and the frame know it (see velkit/frame/tool_descriptor.hpp).
#pragma once
#include "velkit/frame/tool_descriptor.hpp"

namespace velkit::flowpage {

inline constexpr frame::ToolDescriptor kTool{
    "flowpage",
    "flowpage",
    "Convert .mmd and markdown files into static HTML pages.",
    "markdown",
    "FlowPage",
    "FlowPage: a static HTML site from Markdown documents and Mermaid diagrams.",
    "os sys click velutil.fileMg velutil.app_logging",
    "config_flowpage_template.json",
    "Generate config_flowpage_template.json",
    "Command entry point for FlowPage Generator",
    "Hint: Run 'vel-kit flowpage --generate-config' to get a template.",
};

}  // namespace velkit::flowpage
