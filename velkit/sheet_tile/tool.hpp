// sheet-tile as vel-kit and the frame know it (see velkit/frame/tool_descriptor.hpp).
#pragma once
#include "velkit/frame/tool_descriptor.hpp"

namespace velkit::sheet_tile {

inline constexpr frame::ToolDescriptor kTool{
    "sheet-tile",
    "sheet_tile",
    "Merge multiple PDF files into a single layout report.",
    "pdf",
    "SheetTile",
    "SheetTile: the pages of a folder of PDFs placed several to a sheet.",
    "os sys click velutil.fileMg velutil.app_logging",
    "config_sheet_tile_template.json",
    "Generate a config_sheet_tile_template.json in the current directory",
    "Command entry point for Sheet Tile Tool",
    "Hint: Run 'velkit sheet-tile --generate-config' to get a template.",
};

}  // namespace velkit::sheet_tile
