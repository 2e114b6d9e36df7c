// velutil.excelTools: tables read out of CSV files and workbooks by cell
// reference, an exact-match join that compares values the way a clerk
// would, and formatted workbooks written atomically.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "excel_tables.hpp"
#include "pyfs.hpp"

namespace py = pybind11;
namespace excel_tables = velutil::excel_tables;

PYBIND11_MODULE(excelTools, m) {
    m.doc() = "Tables read from CSV files and workbooks by cell reference, exact-match joins, formatted workbooks.";
    velutil::py_fs::register_file_error();

    m.def("read_csv_by_cells", &excel_tables::read_csv_by_cells, py::arg("path"), py::arg("mapping"),
          py::arg("delimiter") = py::none(), py::arg("encoding") = py::none(), py::arg("decimal") = py::none(),
          "A DataFrame with one column per entry of `mapping` (column name ->\n"
          "cell reference such as \"H2\": column H, data from row 2 on; the rows\n"
          "above are headers), indexed by the row numbers the file shows. Rows\n"
          "whose mapped cells are all blank are left out. Numbers become numbers\n"
          "(a ';' file writes \"1.000,5\"); other texts stay as written\n"
          "(\"0045001234\" keeps its zeros), as do more than 15 digits.\n"
          "Quotes follow the rules of spreadsheet programs and the csv module.\n"
          "Encoding: a UTF-16 byte-order mark, else UTF-8 (stray bytes read as\n"
          "Windows-1252), else Windows-1252; `encoding` (\"utf-8\", \"utf-16\",\n"
          "\"cp1252\") decides instead. Delimiter: `delimiter`, else a first line\n"
          "\"sep=;\", else the most consistent split of the first lines. Decimal\n"
          "mark: `decimal`, else ',' in ';' files. attrs: \"encoding\",\n"
          "\"delimiter\", \"delimiter_from\", \"decimal\", \"problems\" (texts\n"
          "naming rows).");
    m.def("csv_records", &excel_tables::csv_records, py::arg("path"), py::arg("delimiter") = ",",
          py::arg("encoding") = py::none(),
          "(records, unclosed): every record of a CSV file as a list of texts,\n"
          "read as read_csv_by_cells reads them, and the numbers (from 1) of\n"
          "the records whose quote never closed.");
    m.def("read_excel_by_cells", &excel_tables::read_excel_by_cells, py::arg("path"), py::arg("mapping"),
          py::arg("sheet_name") = py::none(),
          "Like read_csv_by_cells for a workbook (.xlsx, .xlsm, .xlsb, .xls,\n"
          ".ods), from its first visible worksheet unless `sheet_name` names or\n"
          "numbers one. Values keep the type of their cell; error values are\n"
          "their text. .xlsx/.xlsm sheets are streamed: memory follows the cells\n"
          "of the mapped columns. attrs: \"sheet\".");
    m.def("merge_exact_match", &excel_tables::merge_exact_match, py::arg("df_left"), py::arg("df_right"), py::arg("num_keys"),
          py::arg("how") = "inner", py::arg("suffixes") = py::make_tuple("_x", "_y"),
          "Join two DataFrames on equal keys. Keys compare trimmed, and a whole\n"
          "number equals its integer text (10, 10.0 and \"10\" match); blank and\n"
          "missing keys match nothing. Every pair of matching rows is one row,\n"
          "in the order of the left table (of the right one for how='right');\n"
          "the values are kept as read.");
    m.def("write_formatted_excel", &excel_tables::write_formatted_excel, py::arg("path"), py::arg("sheets"),
          py::arg("creator") = "",
          "Write {sheet name: DataFrame or [{\"df\", \"index\", \"startcol\"}, ...]}\n"
          "as a workbook: bold header row, frozen, columns as wide as their\n"
          "content; `creator` names the program in the document properties.\n"
          "The file is replaced only by a complete workbook. Returns\n"
          "False, after logging why, when it cannot be written.");
}
