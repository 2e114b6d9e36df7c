// velkit.picbook: a folder of measurement images becomes a PDF lab report.
#include "velkit/frame/pybind.hpp"

#include "report_generator.hpp"
#include "report_template.hpp"
#include "state.hpp"

namespace velkit::picbook {
void register_command(py::module_& m);
}

PYBIND11_MODULE(picbook, m) {
    using namespace velkit::picbook;
    m.doc() = "PicBook: a PDF lab report from a folder of measurement images.";
    init_state(m);
    m.attr("DEFAULT_CONFIG") = py::module_::import("json").attr("loads")(kDefaultConfigJson);
    m.attr("HELP_TEXT") = help_text();
    register_report(m);
    register_command(m);
}
