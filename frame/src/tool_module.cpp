#include "velkit/frame/tool_module.hpp"

#include "velkit/frame/command.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::frame {

namespace {

// The template as --generate-config writes it: the module's DEFAULT_CONFIG
// as it is at the time, or made afresh, so that nothing can change it.
py::object template_object(const ToolDescriptor& tool, const char* template_json) {
    if (tool.template_on_module) {
        return py::module_::import((std::string("velkit.") + tool.module).c_str()).attr("DEFAULT_CONFIG");
    }
    return py::module_::import("json").attr("loads")(template_json);
}

// Writes the template, says where, and ends the command.
[[noreturn]] void write_template(const ToolDescriptor& tool, py::handle template_data) {
    py::object written;
    try {
        written = helperlib::generate_json_template(template_data, tool.template_file);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_OSError)) throw;
        py::object value = error.value();
        std::string reason = value.attr("strerror").is_none() ? shown(value) : shown(value.attr("strerror"));
        std::string where = value.attr("filename").is_none() ? tool.template_file : shown(value.attr("filename"));
        py::module_::import("click").attr("echo")("Error: " + where + " " + reason, py::arg("err") = true);
        exit_with(1);
    }
    echo(tool.template_written + std::string(py::str(written)));
    exit_with(0);
}

// The frame's steps in their order. Missing packages come first, so that
// even the template is refused without them.
void run_steps(const ToolDescriptor& tool, const detail::ModuleParts& parts, const helperlib::Logger& log,
               py::object config, bool generate_config) {
    if (parts.missing_packages) {
        std::vector<std::string> lines = parts.missing_packages();
        for (const std::string& line : lines) log.error(line);
        if (!lines.empty()) exit_with(1);
    }
    if (generate_config) write_template(tool, template_object(tool, parts.template_json));
    if (!given(config)) {
        echo(tool.missing_config);
        if (*tool.config_hint != '\0') echo(tool.config_hint);
        exit_with(1);
    }
    parts.run(std::move(config));
}

}  // namespace

py::object optional_import(const char* name) {
    try {
        return py::module_::import(name);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) throw;
        return py::none();
    }
}

namespace detail {

// Standard modules by their name, velutil's submodules by their own:
// "os velutil.fileMg" sets `os` and `fileMg`.
void add_imports(py::module_& m, const ToolDescriptor& tool) {
    for (py::handle name : py::str(tool.imports).attr("split")()) {
        std::string full = py::str(name);
        m.attr(full.substr(full.rfind('.') + 1).c_str()) = py::module_::import(full.c_str());
    }
}

void add_names(py::module_& m, const ToolDescriptor& tool, const helperlib::Logger& log, ModuleParts parts) {
    m.attr("log") = log.object();
    if (tool.template_on_module) {
        m.attr("DEFAULT_CONFIG") = py::module_::import("json").attr("loads")(parts.template_json);
    }
    if (!parts.help.empty()) m.attr("HELP_TEXT") = parts.help;
    if (parts.add_worker != nullptr) parts.add_worker(m);

    std::string help = parts.help.empty() ? tool.summary : parts.help;
    py::object command =
        make_command(tool, help, [&tool, parts = std::move(parts), log](py::object config, bool generate) {
            run_steps(tool, parts, log, std::move(config), generate);
        });
    m.attr((std::string("cmd_") + tool.module).c_str()) = command;
    std::string program = tool.command;
    m.def(
        "main", [command, program]() { run_as_program(command, program); },
        "Run the tool as a program of its own, with the process's arguments.");
}

}  // namespace detail

}  // namespace velkit::frame
