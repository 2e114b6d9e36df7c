// The same workbook written through the pure-Python XlsxWriter, for
// installations built without libxlsxwriter. One Python call per cell.
#pragma once
#include <pybind11/pybind11.h>

#include <memory>

#include "sheet_writing.hpp"

namespace velutil::excel_tables {

std::unique_ptr<BookSink> python_book();

}  // namespace velutil::excel_tables
