// cmd_picbook: loads and checks a report configuration and runs the report.
#include "velkit/frame/pybind.hpp"

#include <string>

#include "options.hpp"
#include "report_generator.hpp"
#include "report_template.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"

namespace velkit::picbook {

namespace {

void run_picbook(py::object config, bool generate_config) {
    ModuleState& module = state();
    frame::require_packages(module.has_pdf_libs, module.log,
                            {frame::missing_packages_text("packages for PDF generation", "fpdf2, Pillow", "pdf")});
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
    ReportOptions options;
    try {
        options = parse_options(conf, main_page, groups);
    } catch (const frame::ConfigError& error) {
        frame::refuse_configuration(module.log, config, error.what());
    }
    frame::LibraryMessages library_messages(module.log, {"fpdf", "PIL", "fontTools"});
    ReportGenerator generator(conf, main_page, groups, std::move(options));
    generator.generate();
    frame::finish(generator.tally);
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
        "PicBook",
    };
    m.attr("cmd_picbook") = frame::make_command(texts, run_picbook);
}

}  // namespace velkit::picbook
