// cmd_order_match's run: loads a configuration and runs OrderMatch,
// printing its outcome and ending with the exit-status rule.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "order_match.hpp"
#include "state.hpp"
#include "texts.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/run_lock.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::order_match {

void run_order_match(py::object config) {
    const helperlib::Logger& log = state().log;
    frame::ConfigSection section = frame::load_config(log, config);
    Options options = frame::checked_options(log, config, [&] { return parse_options(section); });
    frame::MissingFolder missing = frame::create_when_inputs_exist(
        {frame::fs_path(options.system_data_path), frame::fs_path(options.customer_data_path)});
    auto run_lock = frame::lock_run_folder_or_exit(log, frame::fs_path(options.output_dir), missing);
    frame::LibraryMessages library_messages(log, {});
    OrderMatch worker(std::move(options));
    py::tuple outcome = worker.run();
    bool success = py::bool_(outcome[0]);
    frame::echo(std::string(success ? "Success: " : "Failed: ") + frame::shown(outcome[1]));
    if (worker.counts) frame::log_summary(log, worker.tally, counts_text(*worker.counts));
    frame::finish(worker.tally);
}

}  // namespace velkit::order_match
