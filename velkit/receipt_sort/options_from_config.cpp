#include "options_from_config.hpp"


#include "file_name.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::receipt_sort {

namespace {

std::string type_name(py::handle value) { return frame::shown(py::type::of(value).attr("__name__")); }

// A top-level object; an empty one when the key is missing.
frame::ConfigSection top_section(py::handle config_dict, const char* key) {
    py::object value = config_dict.attr("get")(key, py::dict());
    if (!py::isinstance<py::dict>(value)) {
        throw frame::ConfigError(std::string("'") + key + "' must be an object, not " + type_name(value));
    }
    return frame::ConfigSection(value, key);
}

}  // namespace

RenameOptions options_from_config(py::handle config_dict) {
    if (!py::isinstance<py::dict>(config_dict)) {
        throw frame::ConfigError("the configuration must be an object, not " + type_name(config_dict));
    }
    frame::ConfigSection conf = top_section(config_dict, "config");
    frame::ConfigSection excel_in = top_section(config_dict, "excel_in");
    RenameOptions options;
    if (conf.has("path")) {
        py::object path = conf.raw("path");
        if (!py::isinstance<py::str>(path)) conf.fail("path", "a string");
        options.input_path = frame::fs_path(conf.path("path", options.input_path));
    }
    // The text forms stay accepted: templates of old wrote "True".
    options.dry_run = conf.flag("dry_run", false, true);
    options.name_cell = excel_in.cell("name_cell", options.name_cell, "D6");
    options.amount_cell = excel_in.cell("amount_cell", options.amount_cell, "D6");
    return options;
}

}  // namespace velkit::receipt_sort
