// cmd_receipt_sort's run: reads a configuration and runs the rename.
#include "velkit/frame/pybind.hpp"

#include "options_from_config.hpp"
#include "rename_run.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/run_lock.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::receipt_sort {

void run_receipt_sort(py::object config) {
    ModuleState& module = state();
    py::object data = frame::read_config_file(config);
    RenameOptions options = frame::checked_options(module.log, config, [&] { return options_from_config(data); });
    // Two runs moving the same workbooks would each find the other's half.
    std::string folder = frame::fs_path(helperlib::get_folder_from_path(frame::fs_text(options.input_path)));
    auto run_lock = frame::lock_run_folder_or_exit(module.log, folder, frame::MissingFolder::kLeave,
                                                   "another run is sorting this folder");
    frame::RunTally tally;
    {
        frame::LibraryMessages library_messages(module.log, {"openpyxl"});
        tally = run_rename(options);
    }
    frame::finish(tally);
}

}  // namespace velkit::receipt_sort
