// The CSV reader over any bytes: it ends, finds no more records than the
// text has lines, and selects no more rows than there are records.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "csv_fields.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<velutil::CellReference> references;
    for (int n = input.ConsumeIntegralInRange(1, 3); n > 0; --n) {
        references.push_back({input.ConsumeIntegralInRange(0, 40), input.ConsumeIntegralInRange(1, 5)});
    }
    std::string raw = input.ConsumeRemainingBytesAsString();
    std::string_view text = velutil::strip_utf8_bom(raw);
    std::string converted;
    if (velutil::find_invalid_utf8(text) != std::string_view::npos) {
        converted = velutil::cp1252_to_utf8(text);
        if (velutil::find_invalid_utf8(converted) != std::string_view::npos) std::abort();
        text = converted;
    }
    char delimiter = velutil::detect_delimiter(text);
    if (auto sep = velutil::sep_line(text)) {
        delimiter = sep->delimiter;
        text = sep->rest;
    }

    size_t lines = 1 + std::count(text.begin(), text.end(), '\n') + std::count(text.begin(), text.end(), '\r');
    size_t records = 0;
    velutil::CsvRecords reader(text, delimiter);
    std::vector<std::string> fields;
    while (reader.next(fields)) {
        if (++records > lines) std::abort();
    }
    velutil::SelectedFields selected = velutil::select_csv_fields(text, delimiter, references);
    if (selected.rows > records || selected.row_numbers.size() != selected.rows) std::abort();
    for (const auto& column : selected.columns) {
        if (column.size() != selected.rows) std::abort();
    }
    return 0;
}
