// How cell texts and numbers are read and compared: number detection for
// CSV text, the key form in which matches compare values, and the width a
// text takes in a spreadsheet column.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velutil {

std::string_view trim_blanks(std::string_view text);

// Without the characters at both ends that a reader does not see: blanks,
// tabs, line breaks, non-breaking and other Unicode spaces, zero-width
// spaces and joiners, the word joiner and the byte-order mark.
std::string_view trim_invisible(std::string_view utf8);

// Empty or only blanks.
bool is_blank_text(std::string_view text);

enum class NumberKind { kText, kInteger, kDecimal };

// How a file writes its numbers. Exports with ";" between fields come from
// decimal-comma locales: "1.000,5" is one thousand and a half.
struct NumberStyle {
    char decimal = '.';
    char thousands = '\0';  // none
};
constexpr NumberStyle kDecimalPoint{'.', '\0'};
constexpr NumberStyle kDecimalComma{',', '.'};

// Plain decimal notation as order exports write numbers: an optional minus,
// digits (in groups of three when the style has a thousands separator), an
// optional fraction ("10", "-3", "10.50"; "1.000,5" with a decimal comma);
// blanks around it are ignored. A leading zero ("0045001234") marks an
// identifier, which stays text, as do "+5", ".5", "1e5" and "1,000" (with a
// decimal point). More than 15 significant digits stay text too, as no
// spreadsheet number holds them. The C locale plays no part.
NumberKind classify_number(std::string_view text, NumberStyle style = kDecimalPoint);

// The value of a text that classify_number calls a number.
struct Number {
    NumberKind kind = NumberKind::kText;
    long long integer = 0;  // kInteger
    double decimal = 0;     // kInteger and kDecimal
};
Number read_number(std::string_view text, NumberStyle style = kDecimalPoint);

// The type a CSV column gets: kInteger when every present value is an
// integer, kDecimal when every present value is a number and one is not an
// integer, else kText. A column without values is text.
NumberKind column_kind(const std::vector<std::optional<std::string>>& values, NumberStyle style = kDecimalPoint);

// The calendar day of a spreadsheet serial day number (1 is 1900-01-01 in
// the 1900 date system, which counts a 29 February 1900 that never was;
// 0 is 1904-01-01 in the 1904 system).
struct CivilDate {
    int year;
    int month;
    int day;
};
CivilDate date_of_serial(long long serial, bool date1904 = false);
// The calendar day `days` after 1970-01-01 (before it when negative).
CivilDate civil_from_days(long long days);

// Columns a text takes in a spreadsheet cell: East Asian wide and full-width
// characters count two, combining marks none.
size_t display_width(std::string_view utf8);

}  // namespace velutil
