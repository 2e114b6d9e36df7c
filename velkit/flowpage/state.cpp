#include "state.hpp"

#include "velkit/frame/command.hpp"

namespace velkit::flowpage {

ModuleState make_state(py::module_& m, helperlib::Logger log) {
    // markdown is optional: without it the module still imports and the
    // command says what to install.
    bool has_md = true;
    py::object markdown = py::none();
    try {
        markdown = py::module_::import("markdown");
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) throw;
        has_md = false;
    }
    m.attr("HAS_MD") = has_md;
    bool has_fences = true;
    try {
        py::module_::import("pymdownx.superfences");
        py::module_::import("yaml");
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) throw;
        has_fences = false;
    }
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
