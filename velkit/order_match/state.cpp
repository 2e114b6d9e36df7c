#include "state.hpp"

#include "velkit/frame/module_state.hpp"

#include <string>

namespace velkit::order_match {

namespace {
PYBIND11_CONSTINIT frame::ModuleStateStore<ModuleState> g_state;
}

ModuleState& state() { return g_state.get(); }

void init_state(py::module_& m) {
    for (const char* name : {"os", "sys", "click"}) m.attr(name) = py::module_::import(name);
    // pandas is required: without it the module does not import.
    py::module_ pandas = py::module_::import("pandas");
    m.attr("pd") = pandas;

    // pandas 2.x needs this option to keep column types when gaps are
    // filled; from pandas 3 on that is the only behaviour and setting the
    // option is deprecated.
    std::string version = py::str(pandas.attr("__version__"));
    if (version.rfind("2.", 0) == 0) {
        py::object options = pandas.attr("get_option");
        try {
            options("future.no_silent_downcasting");
            pandas.attr("set_option")("future.no_silent_downcasting", true);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_KeyError) && !error.matches(PyExc_AttributeError)) throw;
        }
    }

    for (const char* name : {"fileMg", "dataIO", "app_logging", "excelTools"}) {
        m.attr(name) = py::module_::import((std::string("velutil.") + name).c_str());
    }
    g_state.make(m, [&] { return ModuleState{pandas, helperlib::Logger("OrderMatch")}; });
}

}  // namespace velkit::order_match
