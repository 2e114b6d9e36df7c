#include "sheet_xml.hpp"

#include <gtest/gtest.h>

using namespace velutil;

namespace {

const char* const kSheet =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)"
    R"(<row r="1"><c r="B1" t="s"><v>0</v></c><c r="C1" t="inlineStr"><is><t>Qty &amp; "units"</t></is></c></row>)"
    R"(<row r="3" spans="1:3"><c r="B3" t="s"><v>7</v></c><c r="C3" s="2"><v>12.5</v></c><c r="D3"><v>1</v></c></row>)"
    R"(<row r="4"><c r="B4" t="e"><v>#N/A</v></c><c r="C4" t="str"><f>A1&amp;"x"</f><v>a&lt;b</v></c></row>)"
    R"(<row r="5"><c r="B5" s="1"/><c r="C5" t="b"><v>1</v></c></row>)"
    R"(<row><c/><c t="inlineStr"><is><r><t>ri</t></r><r><t xml:space="preserve">ch </t></r><rPh><t>X</t></rPh></is></c>)"
    R"(<c><v>42</v></c></row>)"
    R"(<row r="100000"><c r="XFD100000"><v>9</v></c></row>)"
    R"(</sheetData></worksheet>)";

std::vector<SheetCell> cells_of(const std::string& xml, size_t chunk, std::vector<int> columns, int first_row) {
    SheetCellReader reader(std::move(columns), first_row);
    for (size_t i = 0; i < xml.size(); i += chunk) reader.feed(std::string_view(xml).substr(i, chunk));
    reader.finish();
    return reader.cells();
}

}  // namespace

TEST(SheetCellReader, KeepsOnlyTheWantedColumnsFromTheFirstRowOn) {
    auto cells = cells_of(kSheet, 1 << 20, {1, 2}, 3);
    ASSERT_EQ(cells.size(), 7u);
    EXPECT_EQ(cells[0].row, 3);
    EXPECT_EQ(cells[0].type, SheetCell::Type::kShared);
    EXPECT_EQ(cells[0].value, "7");
    EXPECT_EQ(cells[1].value, "12.5");
    EXPECT_EQ(cells[1].style, 2);
    EXPECT_EQ(cells[2].type, SheetCell::Type::kError);
    EXPECT_EQ(cells[2].value, "#N/A");
    // A formula's text is not its value; entities are decoded.
    EXPECT_EQ(cells[3].type, SheetCell::Type::kText);
    EXPECT_EQ(cells[3].value, "a<b");
    EXPECT_EQ(cells[4].type, SheetCell::Type::kBool);
    // Rows and cells without "r" follow the one before; phonetic runs are
    // no part of the text. The empty styled cell B5 is no value.
    EXPECT_EQ(cells[5].row, 6);
    EXPECT_EQ(cells[5].column, 1);
    EXPECT_EQ(cells[5].value, "rich ");
    EXPECT_EQ(cells[6].value, "42");
}

TEST(SheetCellReader, ChunkBoundariesChangeNothing) {
    auto whole = cells_of(kSheet, 1 << 20, {1, 2, 16383}, 1);
    for (size_t chunk : {1u, 2u, 7u, 64u}) {
        auto pieces = cells_of(kSheet, chunk, {1, 2, 16383}, 1);
        ASSERT_EQ(pieces.size(), whole.size()) << chunk;
        for (size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(pieces[i].value, whole[i].value) << chunk;
            EXPECT_EQ(pieces[i].row, whole[i].row) << chunk;
        }
    }
    EXPECT_EQ(whole.back().column, 16383);
    EXPECT_EQ(whole.back().row, 100000);
    EXPECT_EQ(whole[1].value, "Qty & \"units\"");
}

TEST(SharedStringReader, KeepsTheWantedItemsWithTheirRuns) {
    std::string xml =
        R"(<sst><si><t>PO</t></si><si/><si><r><t>00</t></r><r><t>45</t></r><rPh><t>x</t></rPh></si>)"
        R"(<si><t>&#x41;&#66;</t></si></sst>)";
    SharedStringReader reader({2, 3, 1});
    for (size_t i = 0; i < xml.size(); i += 3) reader.feed(std::string_view(xml).substr(i, 3));
    reader.finish();
    const auto& strings = reader.strings();
    EXPECT_EQ(strings.size(), 3u);
    EXPECT_EQ(strings.at(1), "");
    EXPECT_EQ(strings.at(2), "0045");
    EXPECT_EQ(strings.at(3), "AB");
    EXPECT_EQ(strings.count(0), 0u);
}

TEST(DateFormats, DatePartsOutsideQuotesAndColours) {
    for (const char* code : {"yyyy-mm-dd", "d.m.yy h:mm", "[$-409]mmm d, yyyy", "[h]:mm", "DD/MM/YYYY"}) {
        EXPECT_TRUE(is_date_format(code)) << code;
    }
    for (const char* code : {"0.00", "General", "#,##0 \"days\"", "[Red]0;0", "0\\d", "0.00;[Red]-0.00 yy"}) {
        EXPECT_FALSE(is_date_format(code)) << code;
    }
}

TEST(DateFormats, OnlyCellFormatsCountAndBuiltInDatesAreKnown) {
    std::string styles =
        R"(<styleSheet><numFmts count="2"><numFmt numFmtId="164" formatCode="yyyy\-mm\-dd"/>)"
        R"(<numFmt numFmtId="165" formatCode="0.000"/></numFmts>)"
        R"(<cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs>)"
        R"(<cellXfs count="5"><xf numFmtId="0"/><xf numFmtId="14" applyNumberFormat="1"/>)"
        R"(<xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="22"></xf></cellXfs></styleSheet>)";
    EXPECT_EQ(date_styles(styles), (std::vector<bool>{false, true, true, false, true}));
}

TEST(Workbook, SheetsVisibilityDateSystemAndParts) {
    auto info = parse_workbook(
        R"(<workbook xmlns:r="urn:r"><workbookPr date1904="1"/><sheets>)"
        R"(<sheet name="Notes" sheetId="1" state="hidden" r:id="rId1"/><sheet name="A &amp; B" sheetId="2" r:id="rId2"/>)"
        R"(</sheets></workbook>)");
    EXPECT_TRUE(info.date1904);
    ASSERT_EQ(info.sheets.size(), 2u);
    EXPECT_FALSE(info.sheets[0].visible);
    EXPECT_EQ(info.sheets[1].name, "A & B");
    EXPECT_EQ(info.sheets[1].relation, "rId2");
    auto relations = parse_relationships(
        R"(<Relationships><Relationship Id="rId2" Type="http://x/worksheet" Target="worksheets/sheet2.xml"/></Relationships>)");
    EXPECT_EQ(relations.at("rId2").target, "worksheets/sheet2.xml");
    EXPECT_EQ(workbook_part("worksheets/sheet2.xml"), "xl/worksheets/sheet2.xml");
    EXPECT_EQ(workbook_part("/xl/worksheets/sheet2.xml"), "xl/worksheets/sheet2.xml");
}

TEST(CellPosition, ReferencesInsideTheSheetOnly) {
    auto position = parse_cell_position("XFD1048576");
    ASSERT_TRUE(position);
    EXPECT_EQ(position->column, 16383);
    EXPECT_EQ(position->row, 1048576);
    for (const char* text : {"XFE1", "A0", "A1048577", "a1", "1A", ""}) EXPECT_FALSE(parse_cell_position(text)) << text;
}

TEST(SheetCellReader, EscapesInlineStringsDatesAndFormulasWithoutValues) {
    std::string xml =
        "<worksheet><sheetData><row r=\"2\">"
        "<c r=\"A2\" t=\"inlineStr\"><v>stale</v><is><t>fresh_x000D_\r\nline_x005F_x0041_</t></is></c>"
        "<c r=\"B2\" t=\"d\"><v>2024-02-29T10:30:00</v></c>"
        "<c r=\"C2\"><f>SUM(A1:A9)</f></c>"
        "<c r=\"D2\" t=\"str\"><v><![CDATA[a<b]]>&#x41;</v></c>"
        "</row></sheetData></worksheet>";
    auto cells = cells_of(xml, 5, {0, 1, 2, 3}, 1);
    ASSERT_EQ(cells.size(), 4u);
    // The parser turns CR LF into LF; the escape is the sheet's own CR.
    EXPECT_EQ(cells[0].value, "fresh\r\nline_x0041_");
    EXPECT_EQ(cells[0].type, SheetCell::Type::kText);
    EXPECT_EQ(cells[1].type, SheetCell::Type::kIsoDate);
    EXPECT_EQ(cells[1].value, "2024-02-29T10:30:00");
    EXPECT_TRUE(cells[2].formula);
    EXPECT_EQ(cells[2].value, "");
    EXPECT_EQ(cells[3].value, "a<bA");
}

TEST(SheetCellReader, MalformedXmlIsAnError) {
    SheetCellReader reader({0}, 1);
    EXPECT_THROW(
        {
            reader.feed("<worksheet><sheetData><row><c><v>1</c></row>");
            reader.finish();
        },
        XmlError);
}

TEST(DecodeSheetEscapes, OnlyWellFormedEscapes) {
    EXPECT_EQ(decode_sheet_escapes("a_x0009_b_x00e9_"), "a\tbé");
    EXPECT_EQ(decode_sheet_escapes("_x12_ _xZZZZ_ _x"), "_x12_ _xZZZZ_ _x");
    EXPECT_EQ(decode_sheet_escapes("_xD800_"), "_xD800_");
}

TEST(CellFormats, ZeroPaddedNumbersAndDates) {
    std::string styles =
        R"(<styleSheet><numFmts><numFmt numFmtId="164" formatCode="0000000000"/><numFmt numFmtId="165" formatCode="0.00"/>)"
        R"(</numFmts><cellXfs><xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="14"/></cellXfs></styleSheet>)";
    auto formats = cell_formats(styles);
    ASSERT_EQ(formats.size(), 4u);
    EXPECT_EQ(formats[1].zero_width, 10);
    EXPECT_EQ(formats[2].zero_width, 0);
    EXPECT_TRUE(formats[3].date);
    EXPECT_EQ(zero_padding_width("0"), 0);
    EXPECT_EQ(zero_padding_width("00000"), 5);
}
