// The report configuration, checked once and read into typed values. The
// command and the worker's Python constructor both go through
// `parse_options`; nothing later re-reads the configuration objects.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>
#include <utility>
#include <vector>

#include "layout.hpp"

namespace velkit::picbook {

struct GroupOptions {
    py::object key;  // the name as configured: key of the grouped images and the links
    std::string name;  // the name as shown
    std::string pattern;
    int experiments_per_page = 1;
    int cols_per_row = 1;
};

struct ReportOptions {
    py::object image_folder;
    py::object output_file;
    py::object font_file;  // None: the built-in font, with a Unicode fallback
    std::string file_prefix;
    double page_height = 297;
    double top_margin = 15;
    double bottom_margin = 15;
    double title_buffer = 25;
    double row_gap = 10;
    FigureNumbers figure_numbers = FigureNumbers::kRow;
    double max_image_dpi = 0;  // 0: images are embedded at the resolution they have
    std::string title = "Lab Report";
    std::vector<std::pair<std::string, std::string>> facts;  // label, value
    std::vector<GroupOptions> groups;  // every definition, in order
};

// Raises frame::ConfigError naming the key of the first unusable value.
ReportOptions parse_options(py::handle config, py::handle main_page, py::handle groups);

}  // namespace velkit::picbook
