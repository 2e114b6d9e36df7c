// cmd_picbook: loads and checks a report configuration and runs the report.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "report_generator.hpp"
#include "report_template.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"

namespace velkit::picbook {

namespace {

bool is_number(py::handle value) {
    return (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)) &&
           !py::isinstance<py::bool_>(value) && std::isfinite(value.cast<double>());
}

bool is_whole_at_least_one(py::handle value) {
    return py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value) && value.cast<long long>() >= 1;
}

// The first problem of a configuration that the layout arithmetic could not
// work with, or "" when there is none.
std::string configuration_problem(py::handle conf, py::handle main_page, py::handle groups) {
    if (!py::isinstance<py::dict>(conf)) return "'config' must be an object";
    if (!py::isinstance<py::dict>(main_page)) return "'main_page' must be an object";
    if (!py::isinstance<py::list>(groups)) return "'groups' must be an array";
    for (const char* key : {"page_height", "top_margin", "bottom_margin", "title_buffer", "row_gap"}) {
        if (conf.contains(key) && !is_number(conf[py::str(key)])) {
            return std::string("'config.") + key + "' must be a number (got " +
                   std::string(py::str(py::repr(conf[py::str(key)]))) + ")";
        }
    }
    size_t index = 0;
    for (py::handle group : groups) {
        std::string where = "groups[" + std::to_string(index++) + "]";
        if (!py::isinstance<py::dict>(group)) return "'" + where + "' must be an object";
        if (!group.contains("name")) return "'" + where + "' has no 'name'";
        if (group.contains("pattern") && !py::isinstance<py::str>(group[py::str("pattern")])) {
            return "'" + where + ".pattern' must be a string";
        }
        for (const char* key : {"experiments_per_page", "cols_per_row"}) {
            if (group.contains(key) && !is_whole_at_least_one(group[py::str(key)])) {
                return "'" + where + "." + key + "' must be a whole number of at least 1 (got " +
                       std::string(py::str(py::repr(group[py::str(key)]))) + ")";
            }
        }
    }
    return "";
}

void run_picbook(py::object config, bool generate_config) {
    ModuleState& module = state();
    frame::require_packages(module.has_pdf_libs, module.log,
                            {"Missing required packages for PDF generation.",
                             "Please reinstall with the PDF feature enabled:", "--> pip install Velkit[pdf]"});
    frame::write_template_if_asked(generate_config, py::module_::import("velkit.picbook").attr("DEFAULT_CONFIG"),
                                   kTemplateFileName);
    frame::require_config_path(config, {"Error: Please provide a JSON file path using --config or -c.",
                                        "Hint: Run 'vel-kit picbook --help' to see the template."});

    py::object data = frame::read_config_file(config);
    py::object conf = data.attr("get")("config");
    py::object main_page = data.attr("get")("main_page");
    py::object groups = data.attr("get")("groups");
    if (!py::bool_(conf) || !py::bool_(main_page) || !py::bool_(groups)) {
        module.log.error("Invalid configuration format. Missing 'config', 'main_page', or 'groups'.");
        frame::exit_with(1);
    }
    std::string problem = configuration_problem(conf, main_page, groups);
    if (!problem.empty()) {
        module.log.error("Error: Invalid configuration in " + std::string(py::str(config)) + ": " + problem + ".");
        frame::exit_with(1);
    }
    ReportGenerator(conf, main_page, groups).generate();
}

}  // namespace

void register_command(py::module_& m) {
    frame::CommandTexts texts{
        "picbook",
        help_text(),
        "Specify the JSON config file path",
        "Generate a config_picbook_template.json in the current directory",
        "cmd_picbook",
        "Command entry point for PicBook Generator",
    };
    m.attr("cmd_picbook") = frame::make_command(texts, run_picbook);
}

}  // namespace velkit::picbook
