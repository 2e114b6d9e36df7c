#include "tile_options.hpp"

#include "pdf_numbers.hpp"

namespace velkit::sheet_tile {

Grid TileOptions::grid() const {
    return {landscape ? kA4Height : kA4Width, landscape ? kA4Width : kA4Height, margin, cols, rows};
}

namespace {

constexpr const char* kPasswordsMustBe = "a text (tried for every protected file) or an object from file name to password";

// The message never shows the value: it holds passwords.
py::object read_passwords(const frame::ConfigSection& conf) {
    py::object value = conf.raw("passwords");
    const frame::ConfigError wrong(conf.key_name("passwords") + " must be " + kPasswordsMustBe);
    if (py::isinstance<py::str>(value)) return value;
    if (!py::isinstance<py::dict>(value)) throw wrong;
    for (auto item : py::reinterpret_borrow<py::dict>(value)) {
        if (!py::isinstance<py::str>(item.second)) throw wrong;
    }
    return value;
}

}  // namespace

std::optional<std::string> TileOptions::password_for(py::handle name) const {
    if (passwords.is_none()) return std::nullopt;
    py::object password = py::isinstance<py::str>(passwords) ? passwords : passwords.attr("get")(name);
    if (password.is_none()) return std::nullopt;
    return password.cast<std::string>();
}

TileOptions read_options(const frame::ConfigSection& conf) {
    TileOptions options;
    options.input_folder = conf.path("input_folder", "./data_sheet_tile");
    options.output_file = conf.path("output_file", "./data_sheet_tile/merged_report.pdf");
    frame::ConfigSection layout = conf.section("layout");
    options.cols = static_cast<long>(layout.whole("cols", 2, 1, kMaxCellsPerSide));
    options.rows = static_cast<long>(layout.whole("rows", 1, 1, kMaxCellsPerSide));
    // Any true value means landscape, as the worker's attribute keeps it.
    options.landscape = layout.has("landscape") && py::bool_(layout.raw("landscape"));
    options.margin = conf.number("margin", 20, 0);
    options.frames = conf.has("debug_grid") && py::bool_(conf.raw("debug_grid"));
    if (conf.has("passwords")) options.passwords = read_passwords(conf);
    Grid grid = options.grid();
    if (!has_printable_area(grid.page_width, grid.page_height, options.margin)) {
        throw frame::ConfigError(conf.key_name("margin") + " leaves no printable area on a page of " +
                                 decimal_text(grid.page_width) + " x " + decimal_text(grid.page_height) +
                                 " points (got " + frame::value_shown(conf.raw("margin")) + ")");
    }
    return options;
}

}  // namespace velkit::sheet_tile
