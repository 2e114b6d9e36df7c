// Reading fields out of CSV text by cell reference: text decoding,
// delimiter detection, records and the selection of the referenced columns.
//
// Records follow the rules spreadsheet programs and Python's csv module
// share: a quote opens a quoted field only at the start of a field, where
// delimiters and line breaks are data and "" is one quote; a quote anywhere
// else is an ordinary character ("Rohr 12" verzinkt"). After the closing
// quote the field goes on unquoted up to the next delimiter or line end.
// A quoted field that is still open at the end of the text would swallow
// every line after it: that record is read again from its first line with
// its quotes as ordinary characters, and reading goes on with the next line.
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

enum class TextEncoding { kGuess, kUtf8, kUtf16, kCp1252 };

// File bytes as UTF-8 text, without a byte-order mark.
//  - A UTF-16 byte-order mark means UTF-16 (kUtf16 without one: little-endian).
//  - UTF-8 (with or without its mark) stays; when a few bytes are not UTF-8
//    in text that is otherwise (more multi-byte UTF-8 than stray bytes),
//    those bytes alone are read as Windows-1252 and their offsets in the
//    result are listed in `repaired`.
//  - Otherwise (or with kCp1252) the whole text is Windows-1252.
// kUtf8 never falls back to Windows-1252 for the whole text.
struct DecodedText {
    std::string text;
    TextEncoding encoding = TextEncoding::kUtf8;
    std::vector<size_t> repaired;  // offsets of bytes read as Windows-1252, or of U+FFFD for broken UTF-16
};
DecodedText decode_text(std::string bytes, TextEncoding wanted = TextEncoding::kGuess);

// "utf-8", "utf-16" or "cp1252".
const char* encoding_name(TextEncoding encoding);

// A first line "sep=;" (or any other single character) sets the delimiter
// and is not data: the delimiter and the text after that line, or nothing.
struct SepLine {
    char delimiter;
    std::string_view rest;
};
std::optional<SepLine> sep_line(std::string_view text);

// The candidate (',', ';', '\t', '|') that splits the first records of the
// text into the most consistent number of fields, more than one: the share
// of records with the most common field count decides, then the larger
// count, then the order above. ',' when no candidate splits anything.
char detect_delimiter(std::string_view text);

// The records of CSV text one by one. Line ends are "\n", "\r\n" or "\r".
// A blank line is a record without fields.
class CsvRecords {
public:
    CsvRecords(std::string_view text, char delimiter) : text_(text), delimiter_(delimiter) {}

    // The next record's fields; false after the last record.
    bool next(std::vector<std::string>& fields);

    // Whether the record `next` gave last had a quote that never closed
    // (and was read with its quotes as ordinary characters).
    bool last_was_unclosed() const { return unclosed_; }
    // The offset where the record `next` gave last starts.
    size_t last_start() const { return start_; }

private:
    bool read_quoted(std::vector<std::string>& fields);
    void read_plain_line(std::vector<std::string>& fields);

    std::string_view text_;
    char delimiter_;
    size_t position_ = 0;
    size_t start_ = 0;
    bool unclosed_ = false;
};

// One column per reference: the values of the rows from the smallest
// first row on, and the number of each row's record (1 for the first). A
// row whose referenced cells are all blank is left out; a cell above its
// own reference's row (a header of that column), beyond the end of its
// record or blank is missing.
// Also: the records with a quote that never closed, and the records that
// hold the given offsets (`marks`, sorted), by record number.
struct SelectedFields {
    std::vector<std::vector<std::optional<std::string>>> columns;
    std::vector<int> row_numbers;
    size_t rows = 0;
    std::vector<int> unclosed_rows;
    std::vector<int> marked_rows;
};
SelectedFields select_csv_fields(std::string_view text, char delimiter, const std::vector<CellReference>& references,
                                 const std::vector<size_t>& marks = {});

}  // namespace velutil
