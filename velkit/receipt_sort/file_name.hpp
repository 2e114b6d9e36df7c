// The pieces of a sorted workbook's new file name, and the dry-run switch.
// Plain C++ on UTF-8 text; nothing here depends on the C locale.
#pragma once
#include <cstddef>
#include <string>

namespace velkit::receipt_sort {

// The most bytes a file name may have on the file systems we write to.
constexpr std::size_t kMostFileNameBytes = 255;

// `text` made fit to be part of a file name: without the characters file
// systems or office programs refuse (\ / * ? : " < > |), control characters
// and invisible format characters (bidirectional controls, zero-width
// spaces); a line break or tab becomes a blank and a run of blanks one
// blank; without white space at both ends (the interpreter's notion of
// white space, including the Unicode blanks); and without leading dots (a
// hidden file) or trailing dots (refused elsewhere).
std::string sanitize_name_part(const std::string& text);

// A local time as the clock gives it.
struct LocalTime {
    int month = 1;  // 1..12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int microsecond = 0;  // 0..999999
};

// "MMDD_HHMMSScc": month, day, an underscore, hours, minutes, seconds and
// hundredths of a second (truncated, not rounded), all two digits.
std::string date_code(const LocalTime& time);

// safe name, "_", safe amount, "_", date code, ".xlsx".
std::string new_file_name(const std::string& safe_name, const std::string& safe_amount, const std::string& code);

// new_file_name, with the name (and, when it alone is too long, the amount)
// cut at a character boundary so that the whole name has at most
// `most_bytes` bytes. The date code and extension are never cut.
std::string fitted_file_name(const std::string& safe_name, const std::string& safe_amount, const std::string& code,
                             std::size_t most_bytes = kMostFileNameBytes);

}  // namespace velkit::receipt_sort
