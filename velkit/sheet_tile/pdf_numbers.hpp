// Numbers as PDF content and messages write them, whatever the process's
// locale: a point as the decimal separator, never an exponent. Plain C++.
#pragma once
#include <string>

namespace velkit::sheet_tile {

// `value` with exactly `digits` decimals ("20.50").
std::string fixed_text(double value, int digits);

// `value` as a PDF number operand: at most five decimals, trailing zeros
// dropped, no "-0" ("0.44307", "-12", "0").
std::string pdf_number(double value);

// The shortest text that reads back as `value`, with ".0" for whole
// numbers, as a user would type it ("595.0", "297.5").
std::string decimal_text(double value);

}  // namespace velkit::sheet_tile
