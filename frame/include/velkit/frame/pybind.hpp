// Include this first in every binding file: one way of loading pybind11
// for the whole project.
#pragma once
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

namespace py = pybind11;
