// What a workbook cell holds and how much room it needs: the rules every
// workbook writer shares, so that two writers give the same workbook.
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velutil {

// A value that cannot go into a workbook, or a layout that a sheet cannot
// hold; the text says why.
class WorkbookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr size_t kMaxCellText = 32767;       // characters
constexpr size_t kMaxSheetName = 31;         // characters
constexpr size_t kMaxColumnWidth = 60;       // characters
constexpr double kMaxExactInteger = 1e15;    // beyond this a sheet shows rounded digits

// Dates, date-times and times are numbers (days since 1899-12-31) shown
// through their number format.
enum class CellKind { kBlank, kNumber, kText, kBool, kDate, kDateTime, kTime };

const char* number_format_of(CellKind kind);  // nullptr for kinds without one

// The formats a workbook writer made, by what a cell holds; `plain` for
// cells without a number format of their own.
template <typename Format>
struct CellFormats {
    Format bold{}, date{}, datetime{}, time{}, plain{};

    const Format& of(CellKind kind) const {
        if (kind == CellKind::kDate) return date;
        if (kind == CellKind::kDateTime) return datetime;
        return kind == CellKind::kTime ? time : plain;
    }
};

// One cell. `text` is only meaningful for kText and points into storage
// that outlives the write of the cell.
struct Cell {
    CellKind kind = CellKind::kBlank;
    double number = 0;
    std::string_view text;
};

inline Cell blank_cell() { return {}; }
inline Cell bool_cell(bool value) { return {CellKind::kBool, value ? 1.0 : 0.0, {}}; }

// Whole numbers of 16 digits and more become their digits as text (a sheet
// would round them); `digits` keeps that text.
Cell integer_cell(int64_t value, std::string& digits);
// An integer beyond 64 bits, given as its decimal digits.
Cell integer_text_cell(std::string_view digits);
// NaN is blank; infinities are written as "inf" and "-inf".
Cell float_cell(double value);
// Empty text is blank. Throws WorkbookError beyond kMaxCellText characters.
Cell text_cell(std::string_view utf8);

// Date-times at midnight are dates. Fields as a calendar shows them. A
// sheet cannot show days before 1900-01-01: those become their text
// ("1850-05-01", "1850-05-01 13:45:00"), kept in `text`.
Cell date_cell(int year, int month, int day, std::string& text);
Cell datetime_cell(int year, int month, int day, int hour, int minute, int second, int microsecond,
                   std::string& text);
Cell time_cell(int hour, int minute, int second, int microsecond);
// A count of `units_per_second` ticks since 1970-01-01 00:00 (1 for
// seconds, 1000 for milliseconds, ..., 10^9 for nanoseconds).
Cell timestamp_cell(int64_t ticks, int64_t units_per_second, std::string& text);

// The serial number of a day, counted as spreadsheets do (with their
// phantom 1900-02-29, so that dates from March 1900 on agree).
double day_serial(int64_t days_since_1970);

// A text as a sheet's XML must hold it to read back unchanged: "_xHHHH_"
// reads as an escaped character, so its underscore is escaped itself
// ("_x005F_xHHHH_"), and a NUL, which C strings cannot carry, becomes
// "_x0000_". Other control characters are left to the writer. Writes to
// `out` and returns it, or returns `text` when nothing needs escaping.
std::string_view literal_sheet_text(std::string_view text, std::string& out);

// Columns the cell's content takes when shown.
size_t cell_width(const Cell& cell);

// A column as wide as its widest cell, header included, with some air,
// and never wider than kMaxColumnWidth.
class ColumnFit {
public:
    explicit ColumnFit(std::string_view header);
    void add(const Cell& cell);
    double width() const;

private:
    size_t widest_;
};

// Empty when `name` can name a sheet of a workbook that already has
// `taken`, else why not.
std::string sheet_name_problem(std::string_view name, const std::vector<std::string>& taken);

// One table on a sheet: its first column, how many columns it has (index
// included) and its rows below the header.
struct BlockShape {
    int64_t startcol = 0;
    int64_t columns = 0;
    size_t rows = 0;
};

// The rows below the header that the blocks need; throws WorkbookError,
// naming `sheet`, when blocks overlap or the sheet cannot hold them.
size_t checked_sheet_rows(const std::string& sheet, const std::vector<BlockShape>& blocks);

}  // namespace velutil
