// The .ods content reader over any bytes: it refuses malformed XML with
// XmlError, or gives spans that hold together (inside the largest sheet,
// never more values than positions or cells held), the same whatever the chunks the
// part arrives in.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cell_reference.hpp"
#include "ods_sheets.hpp"

namespace {

std::optional<std::vector<velutil::SheetSpan>> spans_of(const std::string& xml, FuzzedDataProvider* chunks) {
    velutil::OdsSpanReader reader;
    try {
        for (size_t at = 0; at < xml.size();) {
            size_t length = chunks ? chunks->ConsumeIntegralInRange<size_t>(1, 64) : xml.size();
            reader.feed(std::string_view(xml).substr(at, length));
            at += length;
        }
        reader.finish();
    } catch (const velutil::XmlError&) {
        return std::nullopt;
    }
    return reader.spans();
}

void check(const velutil::SheetSpan& span) {
    if (!span.any && span.cells != 0) std::abort();
    if (span.any && (span.first_row > span.last_row || span.first_column > span.last_column)) std::abort();
    if (span.last_row >= static_cast<uint32_t>(velutil::kMaxRows)) std::abort();
    if (span.last_column >= static_cast<uint32_t>(velutil::kMaxColumns)) std::abort();
    if (span.cells > span.positions() || span.buffered_values > span.buffered) std::abort();
    (void)velutil::span_problem(span);
}

bool same(const velutil::SheetSpan& a, const velutil::SheetSpan& b) {
    return a.name == b.name && a.any == b.any && a.first_row == b.first_row && a.last_row == b.last_row &&
           a.first_column == b.first_column && a.last_column == b.last_column && a.cells == b.cells &&
           a.buffered == b.buffered && a.buffered_values == b.buffered_values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::string xml = input.ConsumeRandomLengthString(1 << 16);
    auto whole = spans_of(xml, nullptr);
    auto chunked = spans_of(xml, &input);
    if (whole.has_value() != chunked.has_value()) std::abort();
    if (!whole) return 0;
    if (whole->size() != chunked->size()) std::abort();
    for (size_t i = 0; i < whole->size(); ++i) {
        check((*whole)[i]);
        if (!same((*whole)[i], (*chunked)[i])) std::abort();
    }
    try {
        velutil::OdsManifestReader manifest;
        manifest.feed(xml);
        manifest.finish();
    } catch (const velutil::XmlError&) {
        // refused with a reason: fine
    }
    return 0;
}
