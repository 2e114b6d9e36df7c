// A tool's extension module made from its descriptor in one call: the
// imports, the module state (made once, never leaked nor destroyed), `log`,
// the template and help texts, the worker's names, `main`, and the command
// `cmd_<module>` whose callback runs the frame's steps in order (package
// check, template, missing configuration) before the tool's run.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <pybind11/gil_safe_call_once.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "velkit/frame/tool_descriptor.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::frame {

template <typename State>
struct ToolParts {
    // Probes the tool's optional packages once, setting its flags on the
    // module; the state keeps `log`.
    State (*make_state)(py::module_& m, helperlib::Logger log);
    // The error lines naming missing packages, none when the tool can run;
    // checked before even the template is written. Null: the run checks.
    std::vector<std::string> (*missing_packages)(const State& state);
    // Adds the worker's classes and functions to the module; may be null.
    void (*add_worker)(py::module_& m);
    // The run, given the configuration path once the frame's steps passed.
    void (*run)(py::object config);
    const char* template_json;  // what --generate-config writes
    std::string help = "";      // the command's help; empty: the summary
};

namespace detail {

template <typename State>
py::gil_safe_call_once_and_store<State>& state_store() {
    // Never destroyed (its Python objects must not outlive the interpreter),
    // and made once even when threads import at the same time.
    PYBIND11_CONSTINIT static py::gil_safe_call_once_and_store<State> store;
    return store;
}

struct ModuleParts {
    std::function<std::vector<std::string>()> missing_packages;
    void (*add_worker)(py::module_& m);
    void (*run)(py::object config);
    const char* template_json;
    std::string help;
};

void add_imports(py::module_& m, const ToolDescriptor& tool);
void add_names(py::module_& m, const ToolDescriptor& tool, const helperlib::Logger& log, ModuleParts parts);

}  // namespace detail

// A tool's optional package: the module, or None when it cannot be
// imported (the tool still imports and says what to install).
py::object optional_import(const char* name);

// The state made by `define_tool`; only after it.
template <typename State>
State& tool_state() {
    return detail::state_store<State>().get_stored();
}

template <typename State>
void define_tool(py::module_& m, const ToolDescriptor& tool, ToolParts<State> parts) {
    m.doc() = tool.doc;
    detail::add_imports(m, tool);
    helperlib::Logger log(tool.logger);
    State& state = detail::state_store<State>()
                       .call_once_and_store_result([&] { return parts.make_state(m, log); })
                       .get_stored();
    std::function<std::vector<std::string>()> missing;
    if (parts.missing_packages != nullptr) missing = [&state, check = parts.missing_packages] { return check(state); };
    detail::add_names(m, tool, log,
                      {std::move(missing), parts.add_worker, parts.run, parts.template_json, std::move(parts.help)});
}

}  // namespace velkit::frame
