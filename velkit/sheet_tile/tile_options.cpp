#include "tile_options.hpp"

#include "pdf_numbers.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::sheet_tile {

namespace {

bool is_number(py::handle value) {
    return (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)) && !py::isinstance<py::bool_>(value);
}

// "A4" and the other paper names, or [width, height] in points; portrait
// A4 when absent.
SheetSize read_sheet_size(const frame::ConfigSection& conf) {
    if (!conf.has("page_size")) return kA4;
    const py::object value = conf.raw("page_size");
    const std::string must_be = std::string("one of ") + kPaperNames + " or [width, height] in points, each from " +
                                pdf_number(kMinSheetSide) + " to " + pdf_number(kMaxSheetSide);
    if (py::isinstance<py::str>(value)) {
        std::optional<SheetSize> named = paper_size(frame::shown(value));
        if (!named) conf.fail("page_size", must_be);
        return *named;
    }
    if (!py::isinstance<py::list>(value) || py::len(value) != 2) conf.fail("page_size", must_be);
    double sides[2] = {0, 0};
    for (size_t i = 0; i < 2; ++i) {
        py::object side = py::reinterpret_borrow<py::list>(value)[i];
        if (!is_number(side)) conf.fail("page_size", must_be);
        try {
            sides[i] = side.cast<double>();
        } catch (py::cast_error&) {
            conf.fail("page_size", must_be);
        } catch (py::error_already_set&) {  // an integer beyond any double
            conf.fail("page_size", must_be);
        }
        if (!is_sheet_side(sides[i])) conf.fail("page_size", must_be);
    }
    return {sides[0], sides[1]};
}

// One of a few fixed texts, as `named` knows them; `fallback` when absent.
template <typename Choice>
Choice read_choice(const frame::ConfigSection& conf, const char* key, const std::string& fallback,
                   std::optional<Choice> (*named)(const std::string&), const char* names) {
    std::optional<Choice> choice;
    if (!conf.has(key)) {
        choice = named(fallback);
    } else if (py::isinstance<py::str>(conf.raw(key))) {
        choice = named(conf.text(key, fallback));
    }
    if (!choice) conf.fail(key, std::string("one of ") + names);
    return *choice;
}

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

Grid TileOptions::grid() const { return {sheet.width, sheet.height, margin, cols, rows, gutter, order}; }

TileOptions read_options(const frame::ConfigSection& conf) {
    TileOptions options;
    options.input_folder = conf.path("input_folder", "./data_sheet_tile");
    options.output_file = conf.path("output_file", "./data_sheet_tile/merged_report.pdf");
    frame::ConfigSection layout = conf.section("layout");
    options.cols = static_cast<long>(layout.whole("cols", 2, 1, kMaxCellsPerSide));
    options.rows = static_cast<long>(layout.whole("rows", 1, 1, kMaxCellsPerSide));
    // Any true value means landscape, as the worker's attribute keeps it.
    options.landscape = layout.has("landscape") && py::bool_(layout.raw("landscape"));
    options.sheet = oriented(read_sheet_size(conf), options.landscape);
    options.margin = conf.number("margin", 20, 0);
    options.gutter = conf.number("gutter", 0, 0);
    options.order = read_choice(conf, "order", "rows", fill_order_named, kFillOrderNames);
    options.rotate_to_fit = conf.flag("rotate_to_fit", false);
    options.sort = read_choice(conf, "sort", "name", name_order_named, kNameOrderNames);
    options.new_sheet_per_file = conf.flag("new_sheet_per_file", false);
    options.frames = conf.has("debug_grid") && py::bool_(conf.raw("debug_grid"));
    if (conf.has("passwords")) options.passwords = read_passwords(conf);
    Grid grid = options.grid();
    if (!has_printable_area(grid.page_width, grid.page_height, options.margin)) {
        throw frame::ConfigError(conf.key_name("margin") + " leaves no printable area on a page of " +
                                 decimal_text(grid.page_width) + " x " + decimal_text(grid.page_height) +
                                 " points (got " + frame::value_shown(conf.raw("margin")) + ")");
    }
    if (!has_cell_area(grid)) {
        throw frame::ConfigError(conf.key_name("gutter") + " leaves no room for " + std::to_string(grid.cols) +
                                 " x " + std::to_string(grid.rows) + " cells on a page of " +
                                 decimal_text(grid.page_width) + " x " + decimal_text(grid.page_height) +
                                 " points (got " + frame::value_shown(conf.raw("gutter")) + ")");
    }
    return options;
}

}  // namespace velkit::sheet_tile
