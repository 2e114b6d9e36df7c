// A sheet written row by row, as a constant-memory workbook writer needs
// it, with the column widths fitted on the way. The cells come from column
// sources and go to a sheet sink, so that the same walk serves every
// writer and every kind of table.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sheet_cells.hpp"

namespace velutil {

// The values of one column, top to bottom.
class ColumnSource {
public:
    virtual ~ColumnSource() = default;
    virtual size_t size() const = 0;
    // The cell of `row` (< size()). A text the source makes up on the spot
    // goes into `scratch`, which lives until the next call.
    virtual Cell cell(size_t row, std::string& scratch) const = 0;
};

// Where the cells of one sheet go; rows arrive in order, header first.
class SheetSink {
public:
    virtual ~SheetSink() = default;
    virtual void header(int column, std::string_view text) = 0;  // bold; may be empty
    virtual void cell(size_t row, int column, const Cell& cell) = 0;  // never a blank cell
    virtual void freeze_header() = 0;
    virtual void column_width(int column, double width) = 0;
};

// A workbook being written: sheets in the order they are added, then the
// bytes of the whole file.
class BookSink {
public:
    virtual ~BookSink() = default;
    virtual SheetSink& add_sheet(const std::string& name) = 0;
    // The program that made the book (the document property "creator"):
    // tools recognise their own earlier output by it.
    virtual void set_creator(const std::string& creator) = 0;
    virtual std::string finish() = 0;  // the book cannot be used after
};

struct SheetColumn {
    std::string header;  // UTF-8
    int sheet_column = 0;
    const ColumnSource* values = nullptr;
};

// Header row, frozen, then `rows` rows, then the fitted widths. A column
// shorter than `rows` leaves its lower cells empty.
void write_sheet(SheetSink& sink, const std::vector<SheetColumn>& columns, size_t rows);

}  // namespace velutil
