// The calls of velutil.excelTools, one source file each for reading,
// matching and writing.
#pragma once
#include <pybind11/pybind11.h>

#include <string>

namespace velutil::excel_tables {

namespace py = pybind11;

// The missing-value markers of pandas, looked up once per call.
struct Missing {
    py::object na;
    py::object nat;
    py::object datetime_type;
    py::object isna;
};

py::object read_csv_by_cells(py::object path, py::object mapping);
py::object read_excel_by_cells(py::object path, py::object mapping, py::object sheet_name);
py::object merge_exact_match(py::object df_left, py::object df_right, py::object num_keys, std::string how,
                             py::object suffixes);
bool write_formatted_excel(py::object path, py::object sheets);

}  // namespace velutil::excel_tables
