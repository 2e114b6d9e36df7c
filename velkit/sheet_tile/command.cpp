// cmd_sheet_tile: loads and checks a merge configuration and runs the merge.
#include "velkit/frame/pybind.hpp"

#include <cmath>
#include <string>

#include "geometry.hpp"
#include "sheet_tiler.hpp"
#include "state.hpp"
#include "tiling_template.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/outcome.hpp"

namespace velkit::sheet_tile {

namespace {

std::string shown(py::handle value) { return py::str(py::repr(value)); }

bool is_whole_at_least_one(py::handle value) {
    return py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value) && value.cast<long long>() >= 1;
}

bool is_real(py::handle value) {
    return (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)) &&
           !py::isinstance<py::bool_>(value) && std::isfinite(value.cast<double>());
}

bool is_path_text(py::handle value) { return py::isinstance<py::str>(value) && py::len(value) > 0; }

// The first value of a configuration that the merge could not work with,
// or "" when there is none. Keys that are absent take their fallbacks.
std::string configuration_problem(py::handle conf) {
    if (!py::isinstance<py::dict>(conf)) return "'config' must be an object";
    for (const char* key : {"input_folder", "output_file"}) {
        if (conf.contains(key) && !is_path_text(conf[py::str(key)])) {
            return std::string("'config.") + key + "' must be a non-empty text (got " + shown(conf[py::str(key)]) + ")";
        }
    }
    bool landscape = false;
    if (conf.contains("layout")) {
        py::object layout = conf[py::str("layout")];
        if (!py::isinstance<py::dict>(layout)) return "'config.layout' must be an object";
        for (const char* key : {"cols", "rows"}) {
            if (layout.contains(key) && !is_whole_at_least_one(layout[py::str(key)])) {
                return std::string("'config.layout.") + key + "' must be a whole number of at least 1 (got " +
                       shown(layout[py::str(key)]) + ")";
            }
        }
        landscape = layout.contains("landscape") && py::bool_(layout[py::str("landscape")]);
    }
    if (conf.contains("margin")) {
        py::object margin = conf[py::str("margin")];
        if (!is_real(margin) || margin.cast<double>() < 0) {
            return "'config.margin' must be a number of at least 0 (got " + shown(margin) + ")";
        }
        py::object a4 = pdf_name("PaperSize").attr("A4");
        double width = a4[py::int_(landscape ? 1 : 0)].cast<double>();
        double height = a4[py::int_(landscape ? 0 : 1)].cast<double>();
        if (!has_printable_area(width, height, margin.cast<double>())) {
            return "'config.margin' leaves no printable area on a page of " + py::str(py::float_(width)).cast<std::string>() +
                   " x " + py::str(py::float_(height)).cast<std::string>() + " points (got " + shown(margin) + ")";
        }
    }
    return "";
}

void run_sheet_tile(py::object config, bool generate_config) {
    ModuleState& module = state();
    frame::require_packages(module.has_pdf_libs, module.log,
                            {"Missing required packages for PDF processing.",
                             "Please reinstall with the correct dependencies or run: pip install pypdf"});
    frame::write_template_if_asked(generate_config,
                                   py::module_::import("velkit.sheet_tile").attr("DEFAULT_CONFIG"), kTemplateFileName);
    frame::require_config_path(config, {"Error: Please provide a JSON file path using --config or -c.",
                                        "Hint: Run 'velkit sheet-tile --generate-config' to get a template."});

    // The loader reports a file it cannot use itself. A "config" that is
    // present but null is not such a refusal: the check below names it.
    py::object loaded = helperlib::load_json_file(config, {"config"});
    if (!py::bool_(loaded)) frame::exit_with(1);
    py::object conf = loaded[py::int_(0)];
    std::string problem = configuration_problem(conf);
    if (!problem.empty()) {
        module.log.error("Error: Invalid configuration in " + std::string(py::str(config)) + ": " + problem + ".");
        frame::exit_with(1);
    }
    frame::LibraryMessages library_messages(module.log, {"pypdf"});
    SheetTiler tiler(conf);
    tiler.run();
    frame::finish(tiler.tally);
}

}  // namespace

void register_command(py::module_& m) {
    frame::CommandTexts texts{
        "sheet-tile",
        "Merge multiple PDF files into a single layout report.",
        "Specify the JSON config file path",
        "Generate a config_sheet_tile_template.json in the current directory",
        "cmd_sheet_tile",
        "Command entry point for Sheet Tile Tool",
    };
    m.attr("cmd_sheet_tile") = frame::make_command(texts, run_sheet_tile);
}

}  // namespace velkit::sheet_tile
