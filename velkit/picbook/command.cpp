// cmd_picbook: loads and checks a report configuration and runs the report.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "options.hpp"
#include "report_generator.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/run_lock.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::picbook {

void run_picbook(py::object config) {
    ModuleState& module = state();
    py::object data = frame::read_config_file(config);
    py::object conf = data.attr("get")("config");
    py::object main_page = data.attr("get")("main_page");
    py::object groups = data.attr("get")("groups");
    if (!py::bool_(conf) || !py::bool_(main_page) || !py::bool_(groups)) {
        module.log.error("Invalid configuration format. Missing 'config', 'main_page', or 'groups'.");
        frame::exit_with(1);
    }
    ReportOptions options =
        frame::checked_options(module.log, config, [&] { return parse_options(conf, main_page, groups); });
    auto run_lock =
        frame::lock_run_folder_or_exit(module.log, frame::fs_path(options.image_folder), frame::MissingFolder::kLeave);
    frame::LibraryMessages library_messages(module.log, {"fpdf", "PIL", "fontTools"});
    ReportGenerator generator(conf, main_page, groups, std::move(options));
    generator.generate();
    frame::finish(generator.tally);
}

}  // namespace velkit::picbook
