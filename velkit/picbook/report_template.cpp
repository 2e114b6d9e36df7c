#include "report_template.hpp"

#include "velkit/frame/help_text.hpp"

namespace velkit::picbook {

const char* const kDefaultConfigJson = R"json({
    "config": {
        "image_folder": "./data_picbook",
        "file_prefix": "Result",
        "output_file": "test.pdf",
        "page_height": 297,
        "top_margin": 10,
        "bottom_margin": 5,
        "title_buffer": 25,
        "row_gap": 10
    },
    "main_page": {
        "title_of_report": "Chamer PreScan",
        "dut_inform": "evMCU + RD1450",
        "environment": "chamber + corner reflector",
        "user_title_1": "Radar Setting",
        "user_content_1": "2000_2200_256_59_RX14_RX23",
        "user_title_2": "Offset Index",
        "user_content_2": "80",
        "user_title_3": "Remove DC",
        "user_content_3": "0",
        "user_title_4": "Guard Cell",
        "user_content_4": "20"
    },
    "groups": [
        {
            "name": "Group 0: 1st Experiment (Result by Metric)",
            "pattern": "g8_Peak_60dB",
            "experiments_per_page": 2,
            "cols_per_row": 2
        }
    ]
})json";

std::string help_text() {
    using frame::kNoRewrap;
    return frame::help_with_template(
        {
            "",
            "Generate a PDF report from multiple images based on a JSON configuration.",
            "",
            kNoRewrap,
            "[JSON Parameter Description]:",
            "* config.image_folder : (String) The folder containing the images.",
            "* config.output_file  : (String) The name of the output PDF file.",
            "* main_page           : (Dict) Key-value pairs displayed on the first TOC page.",
            "* groups              : (List) Define layout and matching patterns for image groups.",
            "",
            kNoRewrap,
            "[Default config.json Template]:",
        },
        kDefaultConfigJson);
}

}  // namespace velkit::picbook
