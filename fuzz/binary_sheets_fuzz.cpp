// The record walks over old binary workbooks (.xls streams, .xlsb parts)
// over any bytes: they either refuse with std::invalid_argument or give
// spans that hold together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "binary_sheets.hpp"

namespace {

void check(const velutil::SheetSpan& span) {
    if (!span.any && span.cells != 0) std::abort();
    if (span.any && (span.first_row > span.last_row || span.first_column > span.last_column)) std::abort();
    (void)velutil::span_problem(span);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        switch (data[0] % 3) {
            case 0:
                for (const auto& span : velutil::xls_sheet_spans(bytes)) check(span);
                break;
            case 1:
                check(velutil::xlsb_sheet_span(bytes));
                break;
            default:
                velutil::xlsb_sheet_entries(bytes);
                break;
        }
    } catch (const std::invalid_argument&) {
        // refused with a reason: fine
    }
    return 0;
}
