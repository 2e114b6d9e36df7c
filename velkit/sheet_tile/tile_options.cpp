#include "tile_options.hpp"

#include "pdf_numbers.hpp"

namespace velkit::sheet_tile {

Grid TileOptions::grid() const {
    return {landscape ? kA4Height : kA4Width, landscape ? kA4Width : kA4Height, margin, cols, rows};
}

TileOptions read_options(const frame::ConfigSection& conf) {
    TileOptions options;
    options.input_folder = conf.path("input_folder", "./data_sheet_tile");
    options.output_file = conf.path("output_file", "./data_sheet_tile/merged_report.pdf");
    frame::ConfigSection layout = conf.section("layout");
    options.cols = static_cast<long>(layout.whole("cols", 2, 1, kMaxCellsPerSide));
    options.rows = static_cast<long>(layout.whole("rows", 1, 1, kMaxCellsPerSide));
    options.landscape = layout.flag("landscape", false);
    options.margin = conf.number("margin", 20, 0);
    conf.has("page_size");  // in the template for the reader: sheets are A4
    options.frames = conf.flag("debug_grid", false);
    Grid grid = options.grid();
    if (!has_printable_area(grid.page_width, grid.page_height, options.margin)) {
        throw frame::ConfigError(conf.key_name("margin") + " leaves no printable area on a page of " +
                                 decimal_text(grid.page_width) + " x " + decimal_text(grid.page_height) +
                                 " points (got " + frame::value_shown(conf.raw("margin")) + ")");
    }
    return options;
}

}  // namespace velkit::sheet_tile
