// Reading SiteOptions from the "config" object, through the frame's checked
// accessors: a value the run cannot use raises frame::ConfigError naming it.
#pragma once
#include "velkit/frame/pybind.hpp"

#include "options.hpp"
#include "velkit/frame/config_values.hpp"

namespace velkit::flowpage {

inline constexpr const char* kDefaultInputFolder = "./data_flowpage";
inline constexpr const char* kDefaultOutputFolder = "./data_flowpage/html_out";
inline constexpr const char* kDefaultIndexTitle = "Project Documentation";

SiteOptions read_options(const frame::ConfigSection& config);

}  // namespace velkit::flowpage
