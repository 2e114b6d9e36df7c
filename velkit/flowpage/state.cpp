#include "state.hpp"

#include "velkit/frame/command.hpp"

namespace velkit::flowpage {

ModuleState make_state(py::module_& m, helperlib::Logger log) {
    py::object markdown = frame::optional_import("markdown");
    const bool has_md = !markdown.is_none();
    m.attr("HAS_MD") = has_md;
    const bool has_fences =
        !frame::optional_import("pymdownx.superfences").is_none() && !frame::optional_import("yaml").is_none();
    m.attr("markdown") = markdown;
    return ModuleState{has_md, markdown, has_fences, std::move(log)};
}

std::vector<std::string> missing_packages(const ModuleState& state) {
    std::vector<std::string> lines;
    if (!state.has_md) lines.push_back(frame::missing_packages_text("package", "markdown", "markdown"));
    if (!state.has_fences) lines.push_back(frame::missing_packages_text("package", "pymdown-extensions", "markdown"));
    return lines;
}

}  // namespace velkit::flowpage
