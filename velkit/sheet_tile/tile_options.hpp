// The merge settings, read and checked once from the configuration.
#pragma once
#include "velkit/frame/pybind.hpp"

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

    Grid grid() const;
};

// The options of a "config" section; keys that are absent take their
// fallbacks. Raises frame::ConfigError naming the first unusable key.
TileOptions read_options(const frame::ConfigSection& conf);

}  // namespace velkit::sheet_tile
