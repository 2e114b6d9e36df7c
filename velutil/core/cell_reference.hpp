// Spreadsheet cell references ("H2", "AA10") as the readers use them: the
// letters name a column, the number the first data row of that column.
#pragma once
#include <string>
#include <string_view>

namespace velutil {

struct CellReference {
    int column;  // zero-based: A = 0, Z = 25, AA = 26
    int row;     // one-based, as the spreadsheet shows it
};

// The largest sheet a workbook can hold.
constexpr int kMaxColumns = 16384;   // A .. XFD
constexpr int kMaxRows = 1048576;

// Parses "H2", "aa10" or "$H$2" (blanks around it are ignored). Throws
// std::invalid_argument with the reason when the text is not a reference
// or lies outside a sheet.
CellReference parse_cell_reference(std::string_view text);

// "A" for 0, "AA" for 26.
std::string column_letters(int column);

}  // namespace velutil
