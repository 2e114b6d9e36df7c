// The rename settings from a parsed configuration file.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "rename_options.hpp"

namespace velkit::receipt_sort {

// Reads "config" and "excel_in" (each may be missing). Throws
// frame::ConfigError naming the key of the first unusable value.
RenameOptions options_from_config(py::handle config_dict);

}  // namespace velkit::receipt_sort
