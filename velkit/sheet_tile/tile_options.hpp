// The merge settings, read and checked once from the configuration.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>
#include <string>

#include "geometry.hpp"
#include "velkit/frame/config_values.hpp"

namespace velkit::sheet_tile {

// A4 in points, portrait; `landscape` swaps the sides.
constexpr double kA4Width = 595;
constexpr double kA4Height = 842;

struct TileOptions {
    py::object input_folder;  // str as configured: reaches the file system unchanged
    py::object output_file;
    long cols = 2;
    long rows = 1;
    bool landscape = false;
    double margin = 20;
    bool frames = false;
    // `passwords`: one text tried for every protected file, or an object
    // from file name to password (both checked to hold texts only); None
    // when absent.
    py::object passwords = py::none();

    // The password configured for the file named `name`, if any.
    std::optional<std::string> password_for(py::handle name) const;

    Grid grid() const;
};

// The options of a "config" section; keys that are absent take their
// fallbacks. Raises frame::ConfigError naming the first unusable key.
TileOptions read_options(const frame::ConfigSection& conf);

}  // namespace velkit::sheet_tile
