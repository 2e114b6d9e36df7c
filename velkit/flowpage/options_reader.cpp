#include "options_reader.hpp"

#include "velkit/frame/text.hpp"

namespace velkit::flowpage {

namespace {

// A map from file names to titles; a name that no file system could hold
// (a lone surrogate) matches no file and is left out.
std::map<std::string, std::string> title_map(const frame::ConfigSection& config, const char* key) {
    std::map<std::string, std::string> titles;
    frame::ConfigSection section = config.section(key);
    for (auto item : section.object()) {
        std::string name = frame::shown(item.first);
        if (!py::isinstance<py::str>(item.first)) section.fail(name.c_str(), "keyed by file names");
        if (!py::isinstance<py::str>(item.second)) section.fail(name.c_str(), "a string");
        try {
            titles[frame::fs_path(item.first)] = frame::shown(item.second);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_UnicodeError)) throw;
        }
    }
    return titles;
}

}  // namespace

SiteOptions read_options(const frame::ConfigSection& config) {
    SiteOptions options;
    py::object input = config.path("input_folder", kDefaultInputFolder);
    py::object output = config.path("output_folder", kDefaultOutputFolder);
    options.input_folder = frame::fs_path(input);
    options.output_folder = frame::fs_path(output);
    options.input_shown = frame::shown(input);
    options.output_shown = frame::shown(output);
    options.index_title = config.text("index_title", kDefaultIndexTitle);
    options.doc_titles = title_map(config, "doc_titles");
    options.chart_titles = title_map(config, "chart_titles");
    options.strict = config.flag("strict", false);
    return options;
}

}  // namespace velkit::flowpage
