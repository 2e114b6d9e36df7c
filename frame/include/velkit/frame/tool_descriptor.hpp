// One tool as vel-kit and the frame know it: the names and texts its
// module and command are made of. Each tool declares its own as a constant
// in `velkit/<tool>/tool.hpp`. Being plain data, it lets vel-kit list a
// tool without importing it; the tool's module pairs it with what only the
// module has (its state, its worker, its run) in `frame::define_tool`.
#pragma once

namespace velkit::frame {

struct ToolDescriptor {
    const char* command;        // "picbook": the sub-command of vel-kit
    const char* module;         // "picbook": velkit.picbook, whose command object is cmd_picbook
    const char* summary;        // its line in vel-kit's listing, and the command's help unless the module gives one
    const char* extra;          // the pip extra that brings the tool's packages
    const char* logger;         // the tool's logger, "PicBook"
    const char* doc;            // the module's documentation string
    const char* imports;        // set on the module in this order: "os sys click velutil.fileMg ..."
    const char* template_file;  // where --generate-config writes
    const char* generate_help;  // help of --generate-config
    const char* callback_doc;   // the callback's documentation string
    const char* config_hint;    // the line after the missing-configuration line; "" for none
    const char* config_help = "Specify the JSON config file path";
    const char* template_written = "Success! Template file created at: ";
    const char* missing_config = "Error: Please provide a JSON file path using --config or -c.";
    // The template as DEFAULT_CONFIG on the module; otherwise it is made
    // afresh for each --generate-config from the module's JSON text.
    bool template_on_module = true;
};

}  // namespace velkit::frame
