// cmd_sheet_tile's run: loads and checks a merge configuration and runs
// the merge.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "sheet_tiler.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/run_lock.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::sheet_tile {

void run_sheet_tile(py::object config) {
    ModuleState& module = state();
    // Every value is checked before the worker exists, and named when wrong.
    frame::ConfigSection conf = frame::load_config(module.log, config);
    TileOptions options = frame::checked_options(module.log, config, [&] { return read_options(conf); });
    std::string output_folder = frame::fs_path(py::module_::import("os.path").attr("dirname")(options.output_file));
    auto run_lock = frame::lock_run_folder_or_exit(
        module.log, output_folder, frame::create_when_inputs_exist({frame::fs_path(options.input_folder)}));
    frame::LibraryMessages library_messages(module.log, {});
    SheetTiler tiler(conf.object(), std::move(options));
    tiler.run();
    frame::finish(tiler.tally);
}

}  // namespace velkit::sheet_tile
