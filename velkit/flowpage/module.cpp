// velkit.flowpage: Markdown documents and Mermaid diagrams become a static
// HTML site.
#include "velkit/frame/pybind.hpp"

#include "converter.hpp"
#include "site_templates.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"

namespace velkit::flowpage {
void register_command(py::module_& m);
}

PYBIND11_MODULE(flowpage, m) {
    using namespace velkit::flowpage;
    m.doc() = "FlowPage: a static HTML site from Markdown documents and Mermaid diagrams.";
    init_state(m);
    m.attr("PAGE_TEMPLATE") = kPageTemplate;
    m.attr("INDEX_TEMPLATE") = kIndexTemplate;
    m.attr("DEFAULT_CONFIG") = py::module_::import("json").attr("loads")(kDefaultConfigJson);
    register_converter(m);
    register_command(m);
    py::object command = m.attr("cmd_flowpage");
    m.def(
        "main", [command]() { velkit::frame::run_as_program(command, "flowpage"); },
        "Run flowpage as a program of its own, with the process's arguments.");
}
