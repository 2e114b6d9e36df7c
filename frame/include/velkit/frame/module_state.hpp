// What a tool's module sets up once at import (its optional packages, its
// logger): made by the first import and kept for the life of the process.
// It is never destroyed, as its Python objects must not be released after
// the interpreter has gone; pybind11's call-once store gives that without a
// `new` and is safe when several threads import at once.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <pybind11/gil_safe_call_once.h>

#include <utility>

namespace velkit::frame {

template <typename State>
class ModuleStateStore {
public:
    // Makes the state once (`make_state` returns it) and gives the module
    // its `log`.
    template <typename Make>
    State& make(py::module_& m, Make&& make_state) {
        State& made = store_.call_once_and_store_result(std::forward<Make>(make_state)).get_stored();
        m.attr("log") = made.log.object();
        return made;
    }
    // Only after `make`.
    State& get() { return store_.get_stored(); }

private:
    py::gil_safe_call_once_and_store<State> store_;
};

}  // namespace velkit::frame
