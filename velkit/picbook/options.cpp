#include "options.hpp"

#include "layout.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::picbook {

namespace {

// Lengths are millimetres on an A4-wide page; a bound keeps a typo (29700)
// from turning into thousands of empty pages.
constexpr double kMaxLength = 10000;
// Room for a running header, a title, one row of images and its caption.
constexpr double kMinUsableHeight = 80;
constexpr long long kMaxCount = 1000;

GroupOptions parse_group(py::handle value, size_t index) {
    frame::ConfigSection group(value, "groups[" + std::to_string(index) + "]");
    if (!group.has("name")) throw frame::ConfigError("'" + group.where() + "' has no 'name'");
    py::object name = group.raw("name");
    bool usable_name = py::isinstance<py::str>(name) ||
                       ((py::isinstance<py::int_>(name) || py::isinstance<py::float_>(name)) &&
                        !py::isinstance<py::bool_>(name));
    if (!usable_name) group.fail("name", "a text or a number");
    GroupOptions result;
    result.key = name;
    result.name = frame::shown(name);
    result.pattern = group.text("pattern", "");
    result.experiments_per_page = static_cast<int>(group.whole("experiments_per_page", 1, 1, kMaxCount));
    result.cols_per_row = static_cast<int>(group.whole("cols_per_row", 1, 1, kMaxCount));
    return result;
}

}  // namespace

ReportOptions parse_options(py::handle config, py::handle main_page, py::handle groups) {
    frame::ConfigSection conf(config, "config");
    frame::ConfigSection page(main_page, "main_page");
    if (!py::isinstance<py::list>(groups)) throw frame::ConfigError("'groups' must be an array");

    ReportOptions options;
    options.image_folder = conf.path("image_folder", ".");
    options.output_file = conf.path("output_file", "report.pdf");
    options.font_file = conf.has("font_file") ? conf.path("font_file", "") : py::none();
    options.file_prefix = conf.text("file_prefix", "");
    // The document is A4: the layout may use less of its height, never more.
    options.page_height = conf.number("page_height", 297, 1, kPageHeight);
    options.top_margin = conf.number("top_margin", 15, 0, kMaxLength);
    options.bottom_margin = conf.number("bottom_margin", 15, 0, kMaxLength);
    options.title_buffer = conf.number("title_buffer", 25, 0, kMaxLength);
    options.row_gap = conf.number("row_gap", 10, 0, kMaxLength);
    std::string numbers = conf.text("figure_numbers", "row");
    if (numbers == "group") {
        options.figure_numbers = FigureNumbers::kGroup;
    } else if (numbers == "report") {
        options.figure_numbers = FigureNumbers::kReport;
    } else if (numbers != "row") {
        conf.fail("figure_numbers", "\"row\", \"group\" or \"report\"");
    }
    // Below 10 ppi nothing in a figure can be made out.
    if (conf.has("max_image_dpi")) options.max_image_dpi = conf.number("max_image_dpi", 0, 10, 100000);
    if (usable_height(options.page_height, options.top_margin, options.bottom_margin) < kMinUsableHeight) {
        conf.fail("page_height", "at least top_margin + bottom_margin + 80");
    }

    py::object title = page.raw("title_of_report");
    if (!title.is_none()) options.title = frame::shown(title);
    auto add_fact = [&](const std::string& label, py::handle value) {
        options.facts.emplace_back(label, frame::shown(value));
    };
    if (py::bool_(page.raw("dut_inform"))) add_fact("DUT", page.raw("dut_inform"));
    if (py::bool_(page.raw("environment"))) add_fact("ENVIRONMENT", page.raw("environment"));
    for (int n = 1; n <= 10; ++n) {
        py::object label = page.raw(("user_title_" + std::to_string(n)).c_str());
        py::object value = page.raw(("user_content_" + std::to_string(n)).c_str());
        if (py::bool_(label) && py::bool_(value)) add_fact(frame::shown(py::str(label).attr("strip")()), value);
    }

    size_t index = 0;
    for (py::handle group : groups) options.groups.push_back(parse_group(group, index++));
    return options;
}

}  // namespace velkit::picbook
