// A path that was looked for and not found, as messages name it.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

namespace velkit::frame {

// The path as given and, when it is relative, the absolute path it stood
// for: "in (looked for /home/ann/in, relative to the current folder)".
std::string shown_tried(py::handle path);

}  // namespace velkit::frame
