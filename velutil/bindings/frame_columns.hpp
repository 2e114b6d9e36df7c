// The columns of a DataFrame as cell sources, read without a Python call
// per cell: numbers, booleans and datetime64 values straight from their
// numpy buffers, any other column in one pass over its values.
#pragma once
#include <pybind11/pybind11.h>

#include <memory>

#include "sheet_writing.hpp"

namespace velutil::excel_tables {

namespace py = pybind11;

// The types a column's values are told apart by, looked up once per call.
struct ColumnTypes {
    py::object numpy_dtype;
    py::object datetime_data;
    py::object na;
    py::object nat;
    py::object isna;
    py::object numpy_bool;
    py::object numpy_integer;
    py::object numpy_floating;

    static ColumnTypes load();
};

// `values` is a Series or an Index; the source keeps what it reads alive.
std::unique_ptr<ColumnSource> column_source(py::handle values, const ColumnTypes& types);

}  // namespace velutil::excel_tables
