#include "ods_sheets.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velutil;

namespace {

std::string content(const std::string& tables) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\">"
           "<office:body><office:spreadsheet>" +
           tables + "</office:spreadsheet></office:body></office:document-content>";
}

std::string table(const std::string& name, const std::string& rows) {
    return "<table:table table:name=\"" + name + "\">" + rows + "</table:table>";
}

std::string row(const std::string& cells, uint64_t repeated = 1) {
    std::string open = repeated == 1 ? "<table:table-row>"
                                     : "<table:table-row table:number-rows-repeated=\"" + std::to_string(repeated) + "\">";
    return open + cells + "</table:table-row>";
}

std::string empty(uint64_t repeated = 1) {
    return repeated == 1 ? "<table:table-cell/>"
                         : "<table:table-cell table:number-columns-repeated=\"" + std::to_string(repeated) + "\"/>";
}

std::string number(uint64_t repeated = 1) {
    std::string repeat = repeated == 1 ? "" : " table:number-columns-repeated=\"" + std::to_string(repeated) + "\"";
    return "<table:table-cell" + repeat + " office:value-type=\"float\" office:value=\"1\"><text:p>1</text:p></table:table-cell>";
}

// The part fed in pieces of `piece` bytes.
std::vector<SheetSpan> spans_of(const std::string& xml, size_t piece = 7) {
    OdsSpanReader reader;
    for (size_t at = 0; at < xml.size(); at += piece) reader.feed(std::string_view(xml).substr(at, piece));
    reader.finish();
    return reader.spans();
}

}  // namespace

TEST(OdsSpanReader, RepeatedRowsAndCellsCountWhereTheyStand) {
    auto spans = spans_of(content(table("Orders", row(empty(2) + number()) + row(empty(), 3) +
                                                      row(empty() + number(4), 2) + row(empty(50)))));
    ASSERT_EQ(spans.size(), 1u);
    const SheetSpan& span = spans[0];
    EXPECT_EQ(span.name, "Orders");
    EXPECT_EQ(span.first_row, 0u);
    EXPECT_EQ(span.last_row, 5u);  // the two repeats of the row at index 4
    EXPECT_EQ(span.first_column, 1u);
    EXPECT_EQ(span.last_column, 4u);
    EXPECT_EQ(span.cells, 1u + 4u * 2u);
}

TEST(OdsSpanReader, EmptyRepeatsWidenNothingUnlessSomethingFollows) {
    // As writers close every sheet: the rest of the rows and columns empty.
    auto spans = spans_of(content(table("Orders", row(number() + empty(16383)) + row(empty(16384), 1048575))));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].positions(), 1u);
    EXPECT_EQ(spans[0].buffered, 1u);
    EXPECT_FALSE(span_problem(spans[0]));
}

TEST(OdsSpanReader, EmptyCellsFollowedByAnotherAreHeldOnTheWay) {
    // Cells told apart by their formatting: the reader holds all but the
    // last, for each row element, whatever the range it keeps in the end.
    std::string styled = "<table:table-cell table:style-name=\"ce1\" table:number-columns-repeated=\"16000\"/>";
    std::string rows = row(number(2));
    for (int i = 0; i < 70; ++i) rows += row(styled + empty(384));
    rows += row(number());
    auto spans = spans_of(content(table("Orders", rows)));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].buffered, 2u + 70u * 16000u + 1u);
    EXPECT_EQ(spans[0].buffered_values, 3u);
    EXPECT_EQ(spans[0].positions(), 72u * 2u);
    EXPECT_EQ(*span_problem(spans[0]),
              "its sheet 'Orders' writes out 1120000 empty cells in its rows for only 3 values, too many to read; "
              "clear the empty cells beside the data (their formatting too) and save it again");
}

TEST(OdsSpanReader, AStrayFarCellMakesTheRangeItCosts) {
    auto spans = spans_of(content(table("Orders", row(number()) + row(empty(), 999998) + row(empty(49) + number()))));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].last_row, 999999u);
    EXPECT_EQ(spans[0].last_column, 49u);
    EXPECT_EQ(spans[0].cells, 2u);
    auto problem = span_problem(spans[0]);
    ASSERT_TRUE(problem);
    EXPECT_EQ(*problem, "its sheet 'Orders' spans A1:AX1000000 (50000000 cells) for only 2 values, too sparse to read "
                        "whole; delete the stray cells far from the data and save it again");
}

TEST(OdsSpanReader, RepeatsStopAtTheLargestSheet) {
    auto spans = spans_of(content(table("S", row(number(), 2000000) + row(number()) + row(empty(99999) + number(3)))));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].last_row, 1048575u);
    EXPECT_EQ(spans[0].last_column, 0u);
    EXPECT_EQ(spans[0].cells, 1048576u);
    auto wide = spans_of(content(table("S", row(empty(16000) + number(1000)))));
    EXPECT_EQ(wide[0].last_column, 16383u);
    EXPECT_EQ(wide[0].cells, 384u);
}

struct CellCase {
    const char* name;
    const char* attributes;
    bool holds;
};

class OdsCell : public ::testing::TestWithParam<CellCase> {};

TEST_P(OdsCell, WhatCountsAsHoldingSomething) {
    std::string far = std::string("<table:table-cell ") + GetParam().attributes + "/>";
    auto spans = spans_of(content(table("S", row(number()) + row(empty(9) + far))));
    EXPECT_EQ(spans[0].last_column, GetParam().holds ? 9u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OdsCell,
    ::testing::Values(CellCase{"float", "office:value-type=\"float\" office:value=\"0\"", true},
                      CellCase{"date", "office:value-type=\"date\" office:date-value=\"2024-03-05\"", true},
                      CellCase{"boolean", "office:boolean-value=\"false\"", true},
                      CellCase{"empty_string", "office:value-type=\"string\"", true},
                      CellCase{"formula_only", "table:formula=\"of:=1\"", true},
                      CellCase{"empty_formula", "table:formula=\"\"", false},
                      CellCase{"style_only", "table:style-name=\"ce1\"", false},
                      // The reader goes by the office prefix, not by the name alone.
                      CellCase{"other_prefix", "calcext:value-type=\"string\"", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OdsSpanReader, EverySheetWithANameAndNothingInsideCells) {
    std::string nested = "<table:table-cell office:value-type=\"string\"><text:p>x</text:p>"
                         "<table:table-row><table:table-cell office:value=\"1\"/></table:table-row></table:table-cell>";
    auto spans = spans_of(content(table("One", row(nested)) + "<table:table>" + row(number(5)) + "</table:table>" +
                                  table("Two &amp; three", row(empty(), 4) + row(number()))),
                          1);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0].cells, 1u);
    EXPECT_EQ(spans[0].last_column, 0u);
    EXPECT_EQ(spans[1].name, "Two & three");
    EXPECT_EQ(spans[1].first_row, 4u);
    EXPECT_FALSE(spans_of(content(table("Empty", "")))[0].any);
}

TEST(OdsSpanReader, MalformedXmlIsRefused) {
    EXPECT_THROW(spans_of(content(table("S", "<table:table-row>"))), XmlError);
}

TEST(OdsManifestReader, EncryptionIsNoticed) {
    auto encrypted = [](const std::string& xml) {
        OdsManifestReader reader;
        reader.feed(xml);
        reader.finish();
        return reader.encrypted();
    };
    std::string head = "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">";
    EXPECT_FALSE(encrypted(head + "<manifest:file-entry manifest:full-path=\"content.xml\"/></manifest:manifest>"));
    EXPECT_TRUE(encrypted(head + "<manifest:file-entry manifest:full-path=\"content.xml\"><manifest:encryption-data/>"
                                 "</manifest:file-entry></manifest:manifest>"));
}
