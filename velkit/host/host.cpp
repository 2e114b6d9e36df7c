// velkit._host: the vel-kit program. A click group that knows the tools by
// name and imports a tool's module only when that tool is invoked, so that
// its help listing stays fast and a tool with missing packages never
// breaks the others.
#include "velkit/frame/pybind.hpp"

#include <string>
#include <utility>
#include <vector>

#include "velkit/frame/command.hpp"
#include "velkit/frame/tool_descriptor.hpp"

#ifndef VELKIT_VERSION
#define VELKIT_VERSION "0.0.0"
#endif

// kTools: every built tool's descriptor, in the order of VELKIT_TOOLS.
#include "tool_listings.inc"

namespace {

using Tool = velkit::frame::ToolDescriptor;

const Tool* find_tool(const std::string& command) {
    for (const Tool& tool : kTools) {
        if (command == tool.command) return &tool;
    }
    return nullptr;
}

std::string full_module(const Tool& tool) { return std::string("velkit.") + tool.module; }

// Built tools are those whose module file exists; finding it imports nothing.
bool is_built(const Tool& tool) {
    return !py::module_::import("importlib.util").attr("find_spec")(full_module(tool)).is_none();
}

py::list list_commands(py::object /*self*/, py::object /*ctx*/) {
    py::list names;
    for (const Tool& tool : kTools) {
        if (is_built(tool)) names.append(tool.command);
    }
    return names;
}

// The ImportError that started it all: a module whose initialisation
// failed raises its own ImportError ("initialization failed") from the
// error of the import inside it, possibly several levels deep.
py::object root_import_error(py::object error) {
    py::object root = error;
    py::object next = error;
    for (int depth = 0; depth < 32 && !next.is_none(); ++depth) {
        if (py::isinstance(next, py::handle(PyExc_ImportError))) root = next;
        py::object cause = next.attr("__cause__");
        next = cause.is_none() ? next.attr("__context__") : cause;
    }
    return root;
}

// The name pip knows a package by, where it differs from its import name.
std::string distribution_name(const std::string& import_name) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"PIL", "Pillow"}, {"fpdf", "fpdf2"}, {"python_calamine", "python-calamine"}, {"xlsxwriter", "XlsxWriter"}};
    for (const auto& [module, distribution] : kNames) {
        if (import_name == module) return distribution;
    }
    return import_name;
}

// Why the tool cannot start, naming the package at fault when the failed
// import names one outside Velkit.
std::string import_failure(py::object error) {
    py::object root = root_import_error(error);
    std::string message = py::str(root);
    py::object name = py::getattr(root, "name", py::none());
    if (!py::isinstance<py::str>(name)) return message;
    std::string module = name.cast<std::string>();
    std::string top_level = module.substr(0, module.find('.'));
    if (top_level.empty() || top_level == "velkit" || top_level == "velutil") return message;
    std::string package = "'" + distribution_name(top_level) + "'";
    if (py::isinstance(root, py::handle(PyExc_ModuleNotFoundError)) && module == top_level) {
        return "the package " + package + " is missing (" + message + ")";
    }
    return "the package " + package + " cannot be imported (" + message + ")";
}

// The system library a compiled module could not load, from the loader's
// message ("libqpdf.so.29: cannot open shared object file: ...",
// "/usr/lib/.../libqpdf.so.29: file too short"); "" when the import failed
// for another reason.
std::string missing_shared_library(py::object error) {
    std::string message = py::str(root_import_error(error));
    std::string file = message.substr(0, message.find(": "));
    std::string name = file.substr(file.rfind('/') + 1);
    if (file.size() == message.size() || name.rfind("lib", 0) != 0 || name.find(".so") == std::string::npos) return "";
    return name;
}

py::object get_command(py::object /*self*/, py::object /*ctx*/, const std::string& name) {
    const Tool* tool = find_tool(name);
    if (tool == nullptr || !is_built(*tool)) return py::none();
    try {
        py::module_ module = py::module_::import(full_module(*tool).c_str());
        return module.attr((std::string("cmd_") + tool->module).c_str());
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) throw;
        py::object click_exception = py::module_::import("click").attr("ClickException");
        std::string library = missing_shared_library(error.value());
        std::string message =
            library.empty()
                ? "The '" + name + "' tool cannot start: " + import_failure(error.value()) +
                      ".\nInstall them with: pip install 'velkit[" + tool->extra + "]'"
                : "The '" + name + "' tool cannot start: the system library " + library +
                      " cannot be loaded (" + std::string(py::str(root_import_error(error.value()))) +
                      ").\nInstall that library, or install Velkit from a wheel built with 'make wheel', "
                      "which carries it.";
        py::set_error(click_exception, click_exception(message));
        throw py::error_already_set();
    }
}

// The listing uses the summaries above instead of asking every command
// for its help, which would import every tool.
void format_commands(py::object /*self*/, py::object /*ctx*/, py::object formatter) {
    py::list rows;
    for (const Tool& tool : kTools) {
        if (is_built(tool)) rows.append(py::make_tuple(tool.command, tool.summary));
    }
    if (py::len(rows) == 0) return;
    py::object section = formatter.attr("section")("Commands");
    section.attr("__enter__")();
    formatter.attr("write_dl")(rows);
    section.attr("__exit__")(py::none(), py::none(), py::none());
}

py::object make_group() {
    py::module_ click = py::module_::import("click");
    py::dict members;
    members["__module__"] = "velkit._host";
    members["__doc__"] = "The vel-kit command group: tools are imported when invoked.";
    py::object group_class =
        py::module_::import("builtins").attr("type")("VelkitGroup", py::make_tuple(click.attr("Group")), members);
    group_class.attr("list_commands") =
        py::cpp_function(list_commands, py::name("list_commands"), py::is_method(group_class));
    group_class.attr("get_command") =
        py::cpp_function(get_command, py::name("get_command"), py::is_method(group_class));
    group_class.attr("format_commands") =
        py::cpp_function(format_commands, py::name("format_commands"), py::is_method(group_class));

    py::object group = group_class(
        py::arg("name") = "vel-kit",
        py::arg("help") = "Velkit: command-line tools for laboratory and office chores.\n\n"
                          "Every tool is driven by one JSON file (--config/-c) and writes its "
                          "template with --generate-config. Run 'vel-kit COMMAND --help' for a "
                          "tool's options and template.");
    click.attr("version_option")(py::arg("version") = VELKIT_VERSION, py::arg("prog_name") = "vel-kit")(group);
    return group;
}

// A tool as a program of its own. The tool is imported here, as vel-kit
// imports it, so that one that cannot start says why in one line instead
// of a traceback.
void run_tool_program(const std::string& command) {
    py::object tool_command;
    try {
        tool_command = get_command(py::none(), py::none(), command);
    } catch (py::error_already_set& error) {
        if (!error.matches(py::module_::import("click").attr("ClickException"))) throw;
        error.value().attr("show")();
        py::set_error(PyExc_SystemExit, py::int_(1));
        throw py::error_already_set();
    }
    if (tool_command.is_none()) {
        py::set_error(PyExc_SystemExit, py::str("The '" + command + "' tool is not built into this installation."));
        throw py::error_already_set();
    }
    velkit::frame::run_as_program(tool_command, command);
}

}  // namespace

PYBIND11_MODULE(_host, m) {
    m.doc() = "The vel-kit program.";
    py::object group = make_group();
    m.attr("cli") = group;
    m.attr("__version__") = VELKIT_VERSION;
    m.def(
        "main", [group]() { velkit::frame::run_as_program(group); }, "Run vel-kit with the process's arguments.");
    m.def(
        "sheet_tile_main", []() { run_tool_program("sheet-tile"); }, "Run sheet-tile as a program of its own.");
    m.def(
        "flowpage_main", []() { run_tool_program("flowpage"); }, "Run flowpage as a program of its own.");
}
