// The small rules about text and values that every tool shares, each stated
// once here and nowhere else. Plain C++ over bytes; no locale is consulted,
// so a caller's setlocale never changes a result.
//
// UTF-8. Well-formed means RFC 3629: lead bytes C2..F4, continuation bytes
//   80..BF, no overlong form, no surrogate (U+D800..U+DFFF), nothing past
//   U+10FFFF. A byte that does not begin a well-formed sequence is one unit
//   of its own, decoded as the code point 0xDC00 + byte (the interpreter's
//   surrogate escape), which no well-formed sequence can yield; such units
//   are kept, counted and compared like any character, never dropped.
// ASCII case. Only A..Z and a..z change; every other byte, including the
//   bytes of multi-byte characters, stays as it is.
// Natural order. Runs of ASCII digits compare by their value ("2" < "10",
//   however long the run); everything else compares byte by byte ignoring
//   ASCII case. Texts equal so far are ordered by fewer leading zeros first
//   ("1" < "01"), then by their bytes ("B" < "b"), so the order is total and
//   two different texts never tie.
// Spreadsheet error values. The fifteen error texts spreadsheet programs
//   show (#N/A, #DIV/0!, #SPILL!, ...), written exactly, letter case
//   included; blanks around them are ignored.
// Number to text. NaN is "nan", the infinities "inf" and "-inf", zero of
//   either sign "0". A whole value below 1e21 in magnitude is written in
//   plain digits ("12", "100000000000000000000"); any other value with the
//   fewest digits that read back as the same double, in plain or exponent
//   notation, whichever is shorter, plain on a tie ("0.1", "1234567.891",
//   "1.2e-05", "1e+21"). Asked for at most N significant digits, the value is first
//   rounded to N digits, as a spreadsheet shows a cell with 15
//   (0.1 + 0.2 -> "0.3").
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velutil {

// ---- UTF-8 ----

struct Utf8Unit {
    char32_t code;  // the code point, or 0xDC00 + byte for a stray byte
    size_t length;  // bytes taken: 1 to 4
    bool valid;     // false for a stray byte
};

constexpr char32_t kStrayByteBase = 0xDC00;

// The unit that starts at text[at]; `at` must be inside the text.
Utf8Unit decode_utf8(std::string_view text, size_t at);

// Offset of the first byte that is not part of well-formed UTF-8, or npos.
size_t find_invalid_utf8(std::string_view text);

// Units in the text: code points, a stray byte counting one.
size_t utf8_units(std::string_view text);

// The longest start of the text of at most `most` bytes that does not cut
// a well-formed sequence in two.
std::string_view utf8_prefix(std::string_view text, size_t most);

// The code point as UTF-8; a stray-byte code point as its one byte.
void append_utf8(std::string& out, char32_t code);

// The text without a leading UTF-8 byte-order mark.
std::string_view strip_utf8_bom(std::string_view text);

// ---- ASCII case ----

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string ascii_lower(std::string_view text);
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);

// ---- Natural order ----

// <0, 0 or >0; 0 only for equal texts.
int natural_compare(std::string_view a, std::string_view b);
inline bool natural_less(std::string_view a, std::string_view b) { return natural_compare(a, b) < 0; }

// ---- Splitting ----

// The pieces between `separator`s: none for empty text, and no empty piece
// after a final separator ("a/b/" gives "a", "b"; "a//b" gives "a", "", "b").
std::vector<std::string_view> split_on(std::string_view text, char separator);

// ---- Spreadsheet error values ----

bool is_spreadsheet_error(std::string_view text);

// ---- Number to text ----

// `significant_digits` 0 means as many as the value needs.
std::string number_text(double value, int significant_digits = 0);

}  // namespace velutil
