#include "config_template.hpp"

#include "velkit/frame/help_text.hpp"

namespace velkit::receipt_sort {

const char* const kDefaultConfigJson = R"json({
    "config": {
        "path": "./data_receipt_sort",
        "dry_run": false
    },
    "excel_in": {
        "name_cell": "D6",
        "amount_cell": "P56"
    }
})json";

std::string help_text() {
    using frame::kNoRewrap;
    return frame::help_with_template(
        {
            "",
            "Read information from Excel and auto-renfiles. ",
            "This tool relies entirely on a JSON configuration file.",
            "",
            kNoRewrap,
            "[JSON Parameter Description]:",
            "* config.path         : (String) Directory path containing the target Excel files.",
            "* config.dry_run      : (Boolean) Set to True to preview renamed files without actually moving them.",
            "* excel_in.name_cell  : (String) The exact cell coordinate for the Name (e.g., \"D6\").",
            "* excel_in.amount_cell: (String) The exact cell coordinate for the Amount (e.g., \"P56\").",
            "",
            kNoRewrap,
            "[Default config.json Template]:",
        },
        kDefaultConfigJson);
}

}  // namespace velkit::receipt_sort
