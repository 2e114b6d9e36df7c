// The workbook XML readers over any bytes. Parts arrive from the archive in
// chunks of any size, so a part read in random chunks must give exactly
// what it gives read whole.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "sheet_xml.hpp"

namespace {

template <typename Reader>
void read_in_chunks(Reader& reader, const std::string& xml, FuzzedDataProvider& input) {
    for (size_t at = 0; at < xml.size();) {
        size_t length = input.ConsumeIntegralInRange<size_t>(1, 64);
        reader.feed(std::string_view(xml).substr(at, length));
        at += length;
    }
    reader.finish();
}

bool same_cells(const std::vector<velutil::SheetCell>& a, const std::vector<velutil::SheetCell>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].row != b[i].row || a[i].column != b[i].column || a[i].type != b[i].type || a[i].value != b[i].value ||
            a[i].style != b[i].style) {
            return false;
        }
    }
    return true;
}

}  // namespace

// What a reader made by `make` gives for the part, read whole or in random
// chunks; nothing when it refuses the part.
template <typename Make, typename Take>
auto read_part(const std::string& xml, FuzzedDataProvider* chunks, Make make, Take take)
    -> std::optional<decltype(take(std::declval<decltype(make())&>()))> {
    try {
        auto reader = make();
        if (chunks != nullptr) {
            read_in_chunks(reader, xml, *chunks);
        } else {
            reader.feed(xml);
            reader.finish();
        }
        return take(reader);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    int part = input.ConsumeIntegralInRange(0, 2);
    std::string xml = input.ConsumeRandomLengthString(1 << 16);
    if (part == 0) {
        std::vector<int> columns = {0, 1, input.ConsumeIntegralInRange(2, 16383)};
        int first_row = input.ConsumeIntegralInRange(1, 4);
        auto make = [&] { return velutil::SheetCellReader(columns, first_row); };
        auto take = [](velutil::SheetCellReader& reader) { return reader.cells(); };
        auto whole = read_part(xml, nullptr, make, take);
        auto chunked = read_part(xml, &input, make, take);
        if (whole.has_value() != chunked.has_value() || (whole && !same_cells(*whole, *chunked))) std::abort();
    } else if (part == 1) {
        std::vector<size_t> wanted = {0, 1, input.ConsumeIntegralInRange<size_t>(2, 100)};
        auto make = [&] { return velutil::SharedStringReader(wanted); };
        auto take = [](velutil::SharedStringReader& reader) { return reader.strings(); };
        auto whole = read_part(xml, nullptr, make, take);
        auto chunked = read_part(xml, &input, make, take);
        if (whole != chunked) std::abort();
    } else {
        try {
            velutil::parse_workbook(xml);
            velutil::parse_relationships(xml);
            velutil::date_styles(xml);
        } catch (const std::exception&) {
            // refused with a reason: fine
        }
    }
    return 0;
}
