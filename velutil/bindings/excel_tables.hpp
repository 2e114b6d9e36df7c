// The calls of velutil.excelTools, one source file each for reading,
// matching and writing.
#pragma once
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "cell_reference.hpp"

namespace velutil::excel_tables {

namespace py = pybind11;

// The missing-value markers of pandas, looked up once per call.
struct Missing {
    py::object na;
    py::object nat;
    py::object datetime_type;
    py::object isna;
    py::object nfc;  // text -> its NFC form
};

// One column of a reader's mapping: its name and where its data starts.
struct Field {
    py::object name;
    velutil::CellReference reference;
};

// What a reader found: one list of values per field, the row number (as
// the sheet shows it) of each row, and the sheet read.
struct FieldRows {
    std::vector<py::list> columns;
    std::vector<int> rows;
    std::string sheet;
};

// The mapped cells of an .xlsx/.xlsm workbook, read as a stream: memory
// follows the cells in the mapped columns, not the sheet's used range.
// Nothing when the file is no such package (another reader's turn).
// Raises Python errors; the caller names the workbook.
bool is_xlsx_package(py::handle path);
FieldRows read_xlsx_fields(py::handle path, const std::vector<Field>& fields, py::object sheet_name);

// Workbooks whose used range is far larger than what it holds are refused
// before python-calamine holds it whole (a ValueError with the reason).
// check_xls_sheets and check_ods_sheets look at every sheet of a .xls or
// .ods, as calamine takes them all in when it opens the file;
// check_xlsb_sheet at the one sheet of a .xlsb about to be read. Other
// files pass untouched. Malformed .ods content raises XmlError.
void check_xls_sheets(py::handle path);
void check_ods_sheets(py::handle path);
void check_xlsb_sheet(py::handle path, const std::string& sheet);

py::object read_csv_by_cells(py::object path, py::object mapping, py::object delimiter, py::object encoding,
                             py::object decimal);
py::tuple csv_records(py::object path, py::object delimiter, py::object encoding);
py::object read_excel_by_cells(py::object path, py::object mapping, py::object sheet_name);
py::object merge_exact_match(py::object df_left, py::object df_right, py::object num_keys, std::string how,
                             py::object suffixes);
bool write_formatted_excel(py::object path, py::object sheets, const std::string& creator = "");

}  // namespace velutil::excel_tables
