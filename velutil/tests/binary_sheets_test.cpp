#include "binary_sheets.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

using namespace velutil;

namespace {

std::string le(uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    return out;
}

std::string record(uint16_t type, const std::string& data) { return le(type, 2) + le(data.size(), 2) + data; }

std::string number(uint16_t row, uint16_t column) { return record(0x0203, le(row, 2) + le(column, 2) + le(0, 2) + le(0, 8)); }

// A workbook stream: the sheet records (name in one-byte characters), the
// end record, then each sheet's records.
std::string xls_stream(const std::vector<std::pair<std::string, std::string>>& sheets) {
    auto bound = [](uint32_t at, const std::string& name) {
        return record(0x0085, le(at, 4) + le(0, 2) + le(name.size(), 1) + le(0, 1) + name);
    };
    std::string globals;
    for (const auto& [name, body] : sheets) globals += bound(0, name);
    globals += record(0x000A, "");
    std::string stream;
    uint32_t at = static_cast<uint32_t>(globals.size());
    for (const auto& [name, body] : sheets) {
        stream += bound(at, name);
        at += static_cast<uint32_t>(body.size());
    }
    stream += record(0x000A, "");
    for (const auto& sheet : sheets) stream += sheet.second;
    return stream;
}

std::string varint(uint32_t value, int most) {
    std::string out;
    for (int i = 0; i < most; ++i) {
        out += static_cast<char>((value & 0x7F) | (value > 0x7F ? 0x80 : 0));
        value >>= 7;
        if (value == 0) break;
    }
    return out;
}

std::string brt(uint32_t type, const std::string& data) { return varint(type, 2) + varint(data.size(), 4) + data; }

std::string wide(const std::string& ascii) {
    std::string out = le(ascii.size(), 4);
    for (char c : ascii) out += std::string(1, c) + '\0';
    return out;
}

}  // namespace

TEST(XlsSheetSpans, EachSheetFromItsOffsetToItsEnd) {
    std::string first = number(2, 1) + number(9, 3) + record(0x000A, "") + number(60000, 200);
    std::string second = record(0x00BD, le(4, 2) + le(2, 2) + std::string(12, '\0') + le(3, 2)) + record(0x000A, "");
    auto spans = xls_sheet_spans(xls_stream({{"Orders", first}, {"Notes", second}}));
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0].name, "Orders");
    // What follows the sheet's end record is not the sheet's.
    EXPECT_EQ(spans[0].last_row, 9u);
    EXPECT_EQ(spans[0].first_column, 1u);
    EXPECT_EQ(spans[0].last_column, 3u);
    EXPECT_EQ(spans[0].cells, 2u);
    EXPECT_EQ(spans[0].positions(), 8u * 3u);
    EXPECT_EQ(spans[1].first_column, 2u);
    EXPECT_EQ(spans[1].last_column, 3u);
    EXPECT_EQ(spans[1].cells, 2u);
}

TEST(XlsSheetSpans, OlderWorkbooksNameTheirSheetsInTheCodePage) {
    std::string sheet = number(3, 4) + record(0x000A, "");
    std::string globals = record(0x0809, le(0x0500, 2) + le(5, 2));
    std::string bound = record(0x0085, le(0, 4) + le(0, 2) + "\x04K\xF6ln");
    uint32_t at = static_cast<uint32_t>(globals.size() + bound.size() + 4);
    std::string stream = globals + record(0x0085, le(at, 4) + le(0, 2) + "\x04K\xF6ln") + record(0x000A, "") + sheet;
    auto spans = xls_sheet_spans(stream);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].name, "K\xC3\xB6ln");
    EXPECT_EQ(spans[0].first_row, 3u);
}

TEST(XlsSheetSpans, AnEncryptedWorkbookIsLeftToTheReader) {
    std::string sheet = number(0, 0) + number(65535, 255) + record(0x000A, "");
    std::string stream = xls_stream({{"S", sheet}});
    EXPECT_EQ(xls_sheet_spans(stream).size(), 1u);
    EXPECT_TRUE(xls_sheet_spans(record(0x002F, le(1, 2) + le(0, 4)) + stream).empty());
}

TEST(XlsSheetSpans, DamagedRecordsAreRefusedWithAReason) {
    std::string cut = xls_stream({{"S", number(1, 1) + record(0x000A, "")}});
    for (const std::string& stream : {cut.substr(0, cut.size() - 3),
                                      xls_stream({{"S", record(0x0203, "ab")}}),
                                      xls_stream({{"S", record(0x00BD, le(0, 2) + le(5, 2) + le(4, 2))}}),
                                      record(0x0085, le(999, 4) + le(0, 2)) + record(0x000A, "")}) {
        EXPECT_THROW(xls_sheet_spans(stream), std::invalid_argument);
    }
}

TEST(XlsbSheetSpan, RowsComeFromRowRecordsAndColumnsFromCells) {
    std::string part = brt(0x0081, "") + brt(0x0091, "");
    part += brt(0x0000, le(4, 4) + std::string(8, '\0')) + brt(0x0005, le(2, 4) + le(0, 4) + le(0, 8));
    part += brt(0x0001, le(900, 4) + le(0, 4));  // a blank cell holds nothing
    part += brt(0x0000, le(1048575, 4)) + brt(0x0007, le(16383, 4) + le(0, 4) + le(0, 4));
    part += brt(0x0092, "") + brt(0x0005, le(20000, 4) + le(0, 4) + le(0, 8));
    SheetSpan span = xlsb_sheet_span(part);
    EXPECT_EQ(span.first_row, 4u);
    EXPECT_EQ(span.last_row, 1048575u);
    EXPECT_EQ(span.first_column, 2u);
    EXPECT_EQ(span.last_column, 16383u);
    EXPECT_EQ(span.cells, 2u);
    EXPECT_THROW(xlsb_sheet_span(brt(0x0000, "ab")), std::invalid_argument);
    EXPECT_THROW(xlsb_sheet_span(varint(0x0005, 2) + varint(40, 4) + "short"), std::invalid_argument);
}

TEST(XlsbSheetEntries, NameAndRelationOfEachSheet) {
    std::string part = brt(0x0083, "") + brt(0x009C, le(0, 4) + le(1, 4) + wide("rId1") + wide("Orders")) +
                       brt(0x009C, le(1, 4) + le(2, 4) + wide("rId7") + wide("Old"));
    auto entries = xlsb_sheet_entries(part);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Orders");
    EXPECT_EQ(entries[1].relation, "rId7");
    EXPECT_THROW(xlsb_sheet_entries(brt(0x009C, le(0, 4) + le(1, 4) + le(50, 4))), std::invalid_argument);
}

struct SpanCase {
    const char* name;
    uint32_t last_row, last_column;
    uint64_t cells, declared_rows, declared_columns;
    bool refused;
};

class SpanProblem : public ::testing::TestWithParam<SpanCase> {};

TEST_P(SpanProblem, LargeMostlyEmptyRangesAreRefused) {
    const SpanCase& c = GetParam();
    SheetSpan span;
    span.name = "Orders";
    span.any = true;
    span.last_row = c.last_row;
    span.last_column = c.last_column;
    span.cells = c.cells;
    span.declared_rows = c.declared_rows;
    span.declared_columns = c.declared_columns;
    EXPECT_EQ(span_problem(span).has_value(), c.refused);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpanProblem,
    ::testing::Values(SpanCase{"small_sparse", 999, 999, 2, 0, 0, false},               // 1e6 positions: read
                      SpanCase{"stray_far_xls_cell", 65535, 255, 4, 65536, 256, true},
                      SpanCase{"full_wide_sheet", 65535, 99, 6553600, 65536, 100, false},
                      SpanCase{"one_in_eight_filled", 65535, 255, 2097152, 0, 0, false},
                      SpanCase{"just_under_one_in_eight", 65535, 255, 2097151, 0, 0, true},
                      SpanCase{"stray_far_xlsb_cell", 1048575, 16383, 3, 0, 0, true},
                      SpanCase{"declared_past_the_xls_grid", 10, 10, 50, 70000, 256, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpanProblem, NamesTheSheetTheRangeAndWhatItHolds) {
    SheetSpan span;
    span.name = "Orders";
    span.any = true;
    span.first_row = 1;
    span.last_row = 65535;
    span.first_column = 0;
    span.last_column = 255;
    span.cells = 4;
    EXPECT_EQ(*span_problem(span),
              "its sheet 'Orders' spans A2:IV65536 (16776960 cells) for only 4 values, too sparse to read whole; "
              "delete the stray cells far from the data and save it again");
    span.last_column = 40000;
    EXPECT_NE(span_problem(span)->find("A2:row 65536, column 40001"), std::string::npos);
}
