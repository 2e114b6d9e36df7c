// Reading fields out of CSV text by cell reference: encoding checks,
// delimiter detection, records (quoted fields may hold delimiters, quotes
// and line breaks) and the selection of the referenced columns.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cell_reference.hpp"
#include "text_kit.hpp"

namespace velutil {

// Windows-1252 text (as spreadsheet programs save CSV in western locales)
// as UTF-8. The five bytes that code page leaves undefined become the C1
// control characters of the same number, so nothing is lost.
std::string cp1252_to_utf8(std::string_view text);

// A first line "sep=;" (or any other single character) sets the delimiter
// and is not data: the delimiter and the text after that line, or nothing.
struct SepLine {
    char delimiter;
    std::string_view rest;
};
std::optional<SepLine> sep_line(std::string_view text);

// ',', ';' or '\t': whichever occurs most often outside quotes in the first
// lines; ',' when none does.
char detect_delimiter(std::string_view text);

// The records of CSV text one by one. Line ends are "\n", "\r\n" or "\r".
class CsvRecords {
public:
    CsvRecords(std::string_view text, char delimiter) : text_(text), delimiter_(delimiter) {}

    // The next record's fields; false after the last record.
    bool next(std::vector<std::string>& fields);

private:
    std::string_view text_;
    char delimiter_;
    size_t position_ = 0;
};

// One column per reference: the values of the rows from the smallest
// first row on, and the number of each row's record (1 for the first). A row whose referenced cells are all blank is left out; a
// cell above its own reference's row (a header of that column), beyond the
// end of its record or blank is missing.
struct SelectedFields {
    std::vector<std::vector<std::optional<std::string>>> columns;
    std::vector<int> row_numbers;
    size_t rows = 0;
};
SelectedFields select_csv_fields(std::string_view text, char delimiter, const std::vector<CellReference>& references);

}  // namespace velutil
