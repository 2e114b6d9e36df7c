#include "velkit/frame/tool_module.hpp"

#include "velkit/frame/command.hpp"

namespace velkit::frame {

namespace {

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) found.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return found;
}

// The template as --generate-config writes it: the module's DEFAULT_CONFIG
// as it is at the time, or made afresh, so that nothing can change it.
py::object template_object(const ToolDescriptor& tool, const char* template_json) {
    if (tool.template_on_module) {
        return py::module_::import((std::string("velkit.") + tool.module).c_str()).attr("DEFAULT_CONFIG");
    }
    return py::module_::import("json").attr("loads")(template_json);
}

void run_steps(const ToolDescriptor& tool, const detail::ModuleParts& parts, const helperlib::Logger& log,
               py::object config, bool generate_config) {
    if (parts.missing_packages) {
        std::vector<std::string> lines = parts.missing_packages();
        require_packages(lines.empty(), log, lines);
    }
    write_template_if_asked(generate_config, template_object(tool, parts.template_json), tool.template_file,
                            tool.template_written);
    std::vector<std::string> lines{tool.missing_config};
    if (*tool.config_hint != '\0') lines.emplace_back(tool.config_hint);
    require_config_path(config, lines);
    parts.run(std::move(config));
}

}  // namespace

namespace detail {

// Standard modules by their name, velutil's submodules by their own.
void add_imports(py::module_& m, const ToolDescriptor& tool) {
    for (const std::string& name : words(tool.imports)) {
        m.attr(name.substr(name.rfind('.') + 1).c_str()) = py::module_::import(name.c_str());
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
