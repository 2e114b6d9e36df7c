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

// Empty or only blanks.
bool is_blank_text(std::string_view text);

enum class NumberKind { kText, kInteger, kDecimal };

// Plain decimal notation as order exports write numbers: an optional minus,
// digits, an optional fraction ("10", "-3", "10.50"); blanks around it are
// ignored. A leading zero ("0045001234") marks an identifier, which stays
// text, as do "+5", ".5", "1e5" and "1,000". Integers beyond 64 bits are
// decimals.
NumberKind classify_number(std::string_view text);

// The type a CSV column gets: kInteger when every present value is an
// integer, kDecimal when every present value is a number and one is not an
// integer, else kText. A column without values is text.
NumberKind column_kind(const std::vector<std::optional<std::string>>& values);

// The key form of a number: a whole value is its integer digits ("10" for
// 10.0, "-0" is "0"), any other the shortest text that reads back as the
// same value ("0.1", "10.25"). Not for NaN.
std::string number_key(double value);

// Columns a text takes in a spreadsheet cell: East Asian wide and full-width
// characters count two, combining marks none.
size_t display_width(std::string_view utf8);

}  // namespace velutil
