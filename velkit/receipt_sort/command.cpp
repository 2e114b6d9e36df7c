// cmd_receipt_sort: writes the template or reads a configuration and runs
// the rename.
#include "velkit/frame/pybind.hpp"

#include "config_template.hpp"
#include "options_from_config.hpp"
#include "rename_run.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"

namespace velkit::receipt_sort {

namespace {

void run_receipt_sort(py::object config, bool generate_config) {
    ModuleState& module = state();
    // The package check is part of the run, so the template can be written
    // without openpyxl.
    frame::write_template_if_asked(generate_config, module.module.attr("DEFAULT_CONFIG"), kTemplateFileName);
    frame::require_config_path(config, {"Error: Please provide a JSON file path using --config or -c.",
                                        "Hint: Run 'vel-kit receipt-sort --help' to see the template."});
    py::object data = frame::read_config_file(config);
    RenameOptions options;
    try {
        options = options_from_config(data);
    } catch (const frame::ConfigError& error) {
        frame::refuse_configuration(module.log, config, error.what());
    }
    frame::RunTally tally;
    {
        frame::LibraryMessages library_messages(module.log, {"openpyxl"});
        tally = run_rename(options);
    }
    frame::finish(tally);
}

}  // namespace

void register_command(py::module_& m) {
    frame::CommandTexts texts{
        "receipt-sort",
        help_text(),
        "Specify the JSON config file path",
        "Generate a config_expense_template.json in the current directory",
        "cmd_receipt_sort",
        "Command entry point for Receipt Sort",
        "ReceiptSort",
    };
    m.attr("cmd_receipt_sort") = frame::make_command(texts, run_receipt_sort);
}

}  // namespace velkit::receipt_sort
