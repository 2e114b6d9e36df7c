#include "tiling_template.hpp"

namespace velkit::sheet_tile {

const char* const kTemplateFileName = "config_sheet_tile_template.json";

// page_size is written for the reader of the template only: output pages
// are always A4.
const char* const kDefaultConfigJson = R"json({
    "config": {
        "input_folder": "./data_sheet_tile",
        "output_file": "./data_sheet_tile/merged_report.pdf",
        "layout": {
            "cols": 2,
            "rows": 2,
            "landscape": false
        },
        "page_size": "A4",
        "margin": 20,
        "debug_grid": false
    }
})json";

}  // namespace velkit::sheet_tile
