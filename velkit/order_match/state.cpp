#include "state.hpp"

#include <string>

namespace velkit::order_match {

ModuleState make_state(py::module_& m, helperlib::Logger log) {
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

    return ModuleState{pandas, std::move(log)};
}

}  // namespace velkit::order_match
