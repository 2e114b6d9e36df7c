// The merge settings, read and checked once from the configuration.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>
#include <string>

#include "geometry.hpp"
#include "sheet_order.hpp"
#include "sheet_size.hpp"
#include "velkit/frame/config_values.hpp"

namespace velkit::sheet_tile {

struct TileOptions {
    py::object input_folder;  // str as configured: reaches the file system unchanged
    py::object output_file;
    long cols = 2;
    long rows = 1;
    bool landscape = false;
    SheetSize sheet = kA4;  // as drawn: already turned by `landscape`
    double margin = 20;
    double gutter = 0;
    FillOrder order = FillOrder::kRows;
    bool rotate_to_fit = false;
    NameOrder sort = NameOrder::kName;
    bool new_sheet_per_file = false;
    bool frames = false;
    // `passwords`: one text tried for every protected file, or an object
    // from file name to password (both checked to hold texts only); None
    // when absent.
    py::object passwords = py::none();

    // The password configured for the file named `name`, if any.
    std::optional<std::string> password_for(py::handle name) const;

    Grid grid() const;
    SheetLayout layout() const { return {grid(), rotate_to_fit}; }
};

// The options of a "config" section; keys that are absent take their
// fallbacks. Raises frame::ConfigError naming the first unusable key.
TileOptions read_options(const frame::ConfigSection& conf);

}  // namespace velkit::sheet_tile
