#include "tiling_template.hpp"

namespace velkit::sheet_tile {

// The other layout keys (order, gutter, rotate_to_fit, sort,
// new_sheet_per_file) are left out: their fallbacks are the usual layout.
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
