#include "sheet_cells.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "cell_reference.hpp"
#include "cell_values.hpp"
#include "text_kit.hpp"

namespace velutil {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr size_t kMaxNumberWidth = 11;  // longer numbers are shown rounded anyway

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

double serial(int64_t days_since_1970, double day_fraction) {
    double value = static_cast<double>(days_since_1970 + 25568) + day_fraction;
    return value > 59 ? value + 1 : value;
}

void append_padded(std::string& text, int64_t value, size_t digits) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value < 0 ? -value : value).ptr;
    if (value < 0) text += '-';
    text.append(digits > static_cast<size_t>(end - buffer) ? digits - static_cast<size_t>(end - buffer) : 0, '0');
    text.append(buffer, end);
}

// Days before 1900-01-01 have no serial number a sheet can show: such a
// moment is written as its text instead of a cell full of '#'.
Cell moment_cell(int64_t days, int64_t micros_of_day, std::string& text) {
    const bool midnight = micros_of_day == 0;
    if (days + 25568 >= 1) {
        const double fraction = static_cast<double>(micros_of_day) / (kSecondsPerDay * 1e6);
        return {midnight ? CellKind::kDate : CellKind::kDateTime, serial(days, fraction), {}};
    }
    const CivilDate date = civil_from_days(days);
    text.clear();
    append_padded(text, date.year, 4);
    text += '-';
    append_padded(text, date.month, 2);
    text += '-';
    append_padded(text, date.day, 2);
    if (!midnight) {
        const int64_t seconds = micros_of_day / 1000000;
        const char* separator = " ";
        for (int64_t part : {seconds / 3600, seconds / 60 % 60, seconds % 60}) {
            text += separator;
            separator = ":";
            append_padded(text, part, 2);
        }
    }
    return {CellKind::kText, 0, text};
}

int64_t floor_div(int64_t a, int64_t b) {
    int64_t quotient = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? quotient - 1 : quotient;
}

size_t number_width(double value) {
    char buffer[32];
    if (value == std::floor(value)) {
        if (std::fabs(value) >= kMaxExactInteger) return kMaxNumberWidth;
        auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<int64_t>(value)).ptr;
        return std::min<size_t>(static_cast<size_t>(end - buffer), kMaxNumberWidth);
    }
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc()) return kMaxNumberWidth;
    return std::min<size_t>(static_cast<size_t>(result.ptr - buffer), kMaxNumberWidth);
}

std::string quoted(std::string_view name) { return "'" + std::string(name) + "'"; }

}  // namespace

const char* number_format_of(CellKind kind) {
    switch (kind) {
        case CellKind::kDate:
            return "yyyy-mm-dd";
        case CellKind::kDateTime:
            return "yyyy-mm-dd hh:mm:ss";
        case CellKind::kTime:
            return "hh:mm:ss";
        default:
            return nullptr;
    }
}

Cell integer_cell(int64_t value, std::string& digits) {
    if (value > -static_cast<int64_t>(kMaxExactInteger) && value < static_cast<int64_t>(kMaxExactInteger)) {
        return {CellKind::kNumber, static_cast<double>(value), {}};
    }
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    digits.assign(buffer, end);
    return {CellKind::kText, 0, digits};
}

Cell integer_text_cell(std::string_view digits) { return {CellKind::kText, 0, digits}; }

Cell float_cell(double value) {
    if (std::isnan(value)) return blank_cell();
    if (std::isinf(value)) return {CellKind::kText, 0, value > 0 ? "inf" : "-inf"};
    return {CellKind::kNumber, value, {}};
}

Cell text_cell(std::string_view utf8) {
    if (utf8.empty()) return blank_cell();
    if (utf8.size() > kMaxCellText) {
        size_t length = utf8_units(utf8);
        if (length > kMaxCellText) {
            throw WorkbookError("a text of " + std::to_string(length) +
                                " characters is longer than a cell can hold (32767)");
        }
    }
    return {CellKind::kText, 0, utf8};
}

double day_serial(int64_t days_since_1970) { return serial(days_since_1970, 0); }

Cell date_cell(int year, int month, int day, std::string& text) {
    return moment_cell(days_from_civil(year, month, day), 0, text);
}

Cell datetime_cell(int year, int month, int day, int hour, int minute, int second, int microsecond,
                   std::string& text) {
    const int64_t micros = ((hour * 60 + minute) * 60 + second) * int64_t{1000000} + microsecond;
    return moment_cell(days_from_civil(year, month, day), micros, text);
}

Cell time_cell(int hour, int minute, int second, int microsecond) {
    int64_t micros = ((hour * 60 + minute) * 60 + second) * int64_t{1000000} + microsecond;
    return {CellKind::kTime, static_cast<double>(micros) / (kSecondsPerDay * 1e6), {}};
}

Cell timestamp_cell(int64_t ticks, int64_t units_per_second, std::string& text) {
    const int64_t per_day = kSecondsPerDay * units_per_second;
    const int64_t days = floor_div(ticks, per_day);
    const int64_t rest = ticks - days * per_day;
    const int64_t micros = units_per_second >= 1000000 ? rest / (units_per_second / 1000000)
                                                       : rest * (1000000 / units_per_second);
    return moment_cell(days, micros, text);
}

std::string_view literal_sheet_text(std::string_view text, std::string& out) {
    if (text.find_first_of(std::string_view("_\0", 2)) == std::string_view::npos) return text;
    auto is_hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\0') {
            out += "_x0000_";
            continue;
        }
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && is_hex(text[i + 2]) &&
            is_hex(text[i + 3]) && is_hex(text[i + 4]) && is_hex(text[i + 5]) && text[i + 6] == '_') {
            out += "_x005F";
        }
        out += text[i];
    }
    return out;
}

size_t cell_width(const Cell& cell) {
    switch (cell.kind) {
        case CellKind::kBlank:
            return 0;
        case CellKind::kNumber:
            return number_width(cell.number);
        case CellKind::kText:
            return display_width(cell.text);
        case CellKind::kBool:
            return 5;  // FALSE
        case CellKind::kDate:
            return 10;
        case CellKind::kDateTime:
            return 19;
        case CellKind::kTime:
            return 8;
    }
    return 0;
}

ColumnFit::ColumnFit(std::string_view header) : widest_(display_width(header) + 1) {}  // room for the bold face

void ColumnFit::add(const Cell& cell) { widest_ = std::max(widest_, cell_width(cell)); }

double ColumnFit::width() const { return static_cast<double>(std::min(widest_ + 2, kMaxColumnWidth)); }

std::string sheet_name_problem(std::string_view name, const std::vector<std::string>& taken) {
    if (name.empty()) return "a sheet name cannot be empty";
    if (utf8_units(name) > kMaxSheetName) {
        return "the sheet name " + quoted(name) + " is longer than 31 characters";
    }
    if (name.find_first_of("[]:*?/\\") != std::string_view::npos) {
        return "the sheet name " + quoted(name) + " contains one of the characters [ ] : * ? / \\";
    }
    if (name.front() == '\'' || name.back() == '\'') {
        return "the sheet name " + quoted(name) + " starts or ends with an apostrophe";
    }
    for (const auto& other : taken) {
        if (equal_ignoring_ascii_case(name, other)) {
            return "the sheet name " + quoted(name) + " is used twice (upper and lower case count as the same)";
        }
    }
    return {};
}

size_t checked_sheet_rows(const std::string& sheet, const std::vector<BlockShape>& blocks) {
    size_t rows = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const BlockShape& block = blocks[i];
        if (block.startcol < 0) {
            throw WorkbookError("a block of sheet " + quoted(sheet) + " starts before the first column");
        }
        const int64_t end = block.startcol + block.columns;
        if (end > kMaxColumns) {
            throw WorkbookError("sheet " + quoted(sheet) + " has more columns than a sheet can hold (16384)");
        }
        for (size_t k = 0; k < i; ++k) {
            const BlockShape& earlier = blocks[k];
            if (block.columns == 0 || earlier.columns == 0) continue;  // an empty table takes no room
            if (block.startcol < earlier.startcol + earlier.columns && earlier.startcol < end) {
                throw WorkbookError("two blocks of sheet " + quoted(sheet) + " overlap at column " +
                                    std::to_string(std::max(earlier.startcol, block.startcol)));
            }
        }
        rows = std::max(rows, block.rows);
    }
    if (rows + 1 > static_cast<size_t>(kMaxRows)) {
        throw WorkbookError("sheet " + quoted(sheet) + " has " + std::to_string(rows) +
                            " rows, more than a sheet can hold (1048575 below the header)");
    }
    return rows;
}

}  // namespace velutil
