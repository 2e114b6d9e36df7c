// How far the sheets of old binary workbooks reach, read from their record
// headers and cell positions alone: .xls (the BIFF8 "Workbook" stream of
// the compound file) and .xlsb (BIFF12 parts of the zip). SheetSpan and
// span_problem serve the .ods reader (ods_sheets.hpp) as well.
//
// The reader these workbooks go to holds a sheet's whole used range in
// memory, a slot for every position from the first cell to the last; one
// stray value in the far corner of an empty sheet costs gigabytes (or
// aborts the process). `span_problem` says when a span is not to be read
// whole. Damaged records throw std::invalid_argument with the reason.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velutil {

struct SheetSpan {
    std::string name;
    bool any = false;               // whether a cell was found at all
    uint32_t first_row = 0, last_row = 0;        // 0-based, of cells the reader keeps
    uint32_t first_column = 0, last_column = 0;
    uint64_t cells = 0;             // cell records with a value
    uint64_t declared_rows = 0;     // the sheet's own size record (.xls), used
    uint64_t declared_columns = 0;  // by the reader to reserve room
    // .ods: the cells its reader holds row by row on the way to the range
    // (each row element's cells up to its last cell element, empty ones
    // between included), and how many of them hold a value.
    uint64_t buffered = 0, buffered_values = 0;

    uint64_t positions() const {
        return any ? (uint64_t{last_row} - first_row + 1) * (uint64_t{last_column} - first_column + 1) : 0;
    }
    // Widens the span to the cell and counts `count` cells with a value.
    void add(uint32_t row, uint32_t column, uint64_t count = 1);
};

// Each sheet the workbook stream lists, in its order, as the reader walks
// it: from the offset its sheet record gives to the sheet's end record.
std::vector<SheetSpan> xls_sheet_spans(std::string_view stream);

// The sheets the .xlsb workbook part lists: name and relationship id.
struct BinarySheetEntry {
    std::string name;
    std::string relation;
};
std::vector<BinarySheetEntry> xlsb_sheet_entries(std::string_view workbook_part);

// One .xlsb worksheet part.
SheetSpan xlsb_sheet_span(std::string_view sheet_part);

// Why the span is not to be read whole ("its sheet 'Orders' spans ..."),
// or nothing. A range is refused when it is both large and mostly empty:
// a full sheet costs what its file holds, a stray far cell does not. So
// are the cells held on the way, by the same measure.
constexpr uint64_t kRoomyRange = 1'000'000;  // positions read whole whatever they hold
constexpr uint64_t kEmptyShare = 8;          // past that, at most 7 empty positions in 8
std::optional<std::string> span_problem(const SheetSpan& span);

}  // namespace velutil
