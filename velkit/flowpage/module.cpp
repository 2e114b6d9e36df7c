// velkit.flowpage: Markdown documents and Mermaid diagrams become a static
// HTML site.
#include "velkit/frame/pybind.hpp"

#include "converter.hpp"
#include "site_templates.hpp"
#include "state.hpp"
#include "tool.hpp"
#include "velkit/frame/tool_module.hpp"

namespace {

void add_worker(py::module_& m) {
    m.attr("PAGE_TEMPLATE") = velkit::flowpage::kPageTemplate;
    m.attr("INDEX_TEMPLATE") = velkit::flowpage::kIndexTemplate;
    velkit::flowpage::register_converter(m);
}

}  // namespace

PYBIND11_MODULE(flowpage, m) {
    using namespace velkit::flowpage;
    velkit::frame::define_tool<ModuleState>(
        m, kTool, {make_state, missing_packages, add_worker, run_flowpage, kDefaultConfigJson});
}
