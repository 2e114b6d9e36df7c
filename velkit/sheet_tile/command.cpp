// cmd_sheet_tile: loads and checks a merge configuration and runs the merge.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "sheet_tiler.hpp"
#include "state.hpp"
#include "tiling_template.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"

namespace velkit::sheet_tile {

namespace {

void run_sheet_tile(py::object config, bool generate_config) {
    // The PDF work is qpdf's, built into the module: nothing to probe.
    ModuleState& module = state();
    frame::write_template_if_asked(generate_config,
                                   py::module_::import("velkit.sheet_tile").attr("DEFAULT_CONFIG"), kTemplateFileName);
    frame::require_config_path(config, {"Error: Please provide a JSON file path using --config or -c.",
                                        "Hint: Run 'velkit sheet-tile --generate-config' to get a template."});

    // Every value is checked before the worker exists, and named when wrong.
    frame::ConfigSection conf = frame::load_config(module.log, config);
    TileOptions options;
    try {
        options = read_options(conf);
    } catch (const frame::ConfigError& error) {
        frame::refuse_configuration(module.log, config, error.what());
    }
    frame::LibraryMessages library_messages(module.log, {});
    SheetTiler tiler(conf.object(), std::move(options));
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
        "SheetTile",
    };
    m.attr("cmd_sheet_tile") = frame::make_command(texts, run_sheet_tile);
}

}  // namespace velkit::sheet_tile
