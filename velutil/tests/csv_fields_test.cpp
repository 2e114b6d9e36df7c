#include "csv_fields.hpp"

#include <gtest/gtest.h>

using namespace velutil;

namespace {

std::vector<std::vector<std::string>> all_records(std::string_view text, char delimiter = ',') {
    CsvRecords records(text, delimiter);
    std::vector<std::vector<std::string>> result;
    std::vector<std::string> fields;
    while (records.next(fields)) result.push_back(fields);
    return result;
}

}  // namespace

TEST(CsvRecords, QuotedFieldsHoldDelimitersQuotesAndLineBreaks) {
    auto records = all_records("a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\nlines\",,x\rlast");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], (std::vector<std::string>{"a", "b,c", "say \"hi\""}));
    EXPECT_EQ(records[1], (std::vector<std::string>{"two\nlines", "", "x"}));
    EXPECT_EQ(records[2], (std::vector<std::string>{"last"}));
}

TEST(CsvRecords, BlankLinesAreRecordsWithoutFields) {
    auto records = all_records("a\n\nb\n");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_TRUE(records[1].empty());
    EXPECT_EQ(all_records("a,\n,")[1], (std::vector<std::string>{"", ""}));
}

struct QuoteCase {
    const char* name;
    const char* text;
    std::vector<std::vector<std::string>> records;
};

class CsvQuotes : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(CsvQuotes, ReadAsSpreadsheetProgramsAndTheCsvModuleDo) {
    EXPECT_EQ(all_records(GetParam().text), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvQuotes,
    ::testing::Values(
        QuoteCase{"InchMarkInUnquotedField", "1,Rohr 12\" verzinkt,3\n2,b,4\n",
                  {{"1", "Rohr 12\" verzinkt", "3"}, {"2", "b", "4"}}},
        QuoteCase{"TextAfterClosingQuote", "\"ab\"c,d\n", {{"abc", "d"}}},
        QuoteCase{"QuoteAfterLeadingBlank", " \"a,b\"\n", {{" \"a", "b\""}}},
        QuoteCase{"DoubledQuoteInsideQuotes", "\"say \"\"hi\"\"\",x", {{"say \"hi\"", "x"}}},
        QuoteCase{"QuotedEmptyAtEnd", "a,\"\"", {{"a", ""}}},
        // A quote still open at the end costs its own line only.
        QuoteCase{"UnclosedQuoteCostsOneLine", "1,\"12 inch,3\n2,b,4\n3,c,5",
                  {{"1", "\"12 inch", "3"}, {"2", "b", "4"}, {"3", "c", "5"}}},
        QuoteCase{"LineEndsOfAllKinds", "a\rb\r\nc\n\r", {{"a"}, {"b"}, {"c"}, {}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CsvRecords, UnclosedQuoteIsReported) {
    CsvRecords records("1,\"open\n2,x\n", ',');
    std::vector<std::string> fields;
    ASSERT_TRUE(records.next(fields));
    EXPECT_TRUE(records.last_was_unclosed());
    ASSERT_TRUE(records.next(fields));
    EXPECT_FALSE(records.last_was_unclosed());
    EXPECT_EQ(fields, (std::vector<std::string>{"2", "x"}));
}

TEST(DetectDelimiter, TheMostConsistentSplitWins) {
    EXPECT_EQ(detect_delimiter("PO;SO;QTY\n1;2;3\n"), ';');
    EXPECT_EQ(detect_delimiter("PO\tSO\n\"a;b;c;d\"\t2\n"), '\t');
    EXPECT_EQ(detect_delimiter("Report of orders\n"), ',');
    // Commas in descriptions and decimal commas outnumber the semicolons.
    EXPECT_EQ(detect_delimiter("PO;Text;QTY\n1;Rohr, verzinkt, 12 mm, lang;2,5\n2;Mutter, M8;1,25\n"
                               "3;Schraube, M8, verzinkt, DIN 933, 50 Stk;10,5\n"),
              ';');
    EXPECT_EQ(detect_delimiter("a|b|c\n1|2|3\n"), '|');
}

TEST(DecodeText, EncodingsAndStrayBytes) {
    std::string utf16le("\xFF\xFEP\0O\0\n\0\xFC\0\x3D\xD8\x00\xDE", 14);
    DecodedText wide = decode_text(utf16le);
    EXPECT_EQ(wide.encoding, TextEncoding::kUtf16);
    EXPECT_EQ(wide.text, "PO\n\xC3\xBC\xF0\x9F\x98\x80");
    EXPECT_TRUE(wide.repaired.empty());
    EXPECT_EQ(decode_text(std::string("\xFE\xFF\0A", 4)).text, "A");

    // One stray Windows-1252 byte in UTF-8 text: the rest stays UTF-8.
    DecodedText nearly = decode_text("M\xC3\xBCller\nK\xF6ln\nSt\xC3\xBC" "ck\n");
    EXPECT_EQ(nearly.encoding, TextEncoding::kUtf8);
    EXPECT_EQ(nearly.text, "Müller\nKöln\nStück\n");
    EXPECT_EQ(nearly.repaired, (std::vector<size_t>{9}));

    EXPECT_EQ(decode_text("M\xFCller \x80").encoding, TextEncoding::kCp1252);
    EXPECT_EQ(decode_text("\xEF\xBB\xBFPO").text, "PO");
    EXPECT_EQ(decode_text("M\xC3\xBC", TextEncoding::kCp1252).text, "MÃ¼");
    EXPECT_EQ(decode_text("\xFC", TextEncoding::kUtf8).text, "ü");
}

TEST(SelectCsvFields, NamesTheRowsOfUnclosedQuotesAndMarkedBytes) {
    std::string text = "PO,Q\n1,\"a\n2,b\"c\n3,x\n";
    auto selected = select_csv_fields(text, ',', {parse_cell_reference("A2")}, {text.find('3')});
    // The quote before c closes "a\n2,b": one record over two lines.
    EXPECT_EQ(selected.row_numbers, (std::vector<int>{2, 3}));
    EXPECT_EQ(selected.marked_rows, (std::vector<int>{3}));
    EXPECT_TRUE(selected.unclosed_rows.empty());
    auto open = select_csv_fields("PO\n\"1\n2\n", ',', {parse_cell_reference("A2")});
    EXPECT_EQ(open.unclosed_rows, (std::vector<int>{2}));
    EXPECT_EQ(open.columns[0][1], "2");
}

TEST(SelectCsvFields, HeadersAboveTheReferenceRowAndBlankRowsAreLeftOut) {
    const char* text =
        "Order export,,\n"
        "PO,QTY,NOTE\n"
        "0045,10,x\n"
        ",,\n"
        " ,  ,only a note\n"
        "0046,,\n"
        "\n";
    auto selected = select_csv_fields(text, ',', {parse_cell_reference("A3"), parse_cell_reference("B3")});
    // The blank row and the row with only a note in an unmapped column go.
    ASSERT_EQ(selected.rows, 2u);
    EXPECT_EQ(selected.columns[0][0], "0045");
    EXPECT_EQ(selected.columns[1][0], "10");
    EXPECT_EQ(selected.columns[0][1], "0046");
    EXPECT_FALSE(selected.columns[1][1].has_value());
    EXPECT_EQ(selected.row_numbers, (std::vector<int>{3, 6}));
}

TEST(SelectCsvFields, EachColumnStartsAtItsOwnRowAndShortRecordsAreMissing) {
    const char* text = "h1,h2\nA,hdr\nB,2\nC\n";
    auto selected = select_csv_fields(text, ',', {parse_cell_reference("A2"), parse_cell_reference("B3")});
    ASSERT_EQ(selected.rows, 3u);
    EXPECT_EQ(selected.columns[0][0], "A");
    EXPECT_FALSE(selected.columns[1][0].has_value());  // "hdr" is above B3
    EXPECT_EQ(selected.columns[1][1], "2");
    EXPECT_FALSE(selected.columns[1][2].has_value());  // record "C" has one field
}

TEST(Cp1252, WesternExportsBecomeUtf8) {
    EXPECT_EQ(cp1252_to_utf8("M\xFCller \x80 5\x96" "6 \x81"), "Müller € 5–6 \xC2\x81");
    EXPECT_EQ(find_invalid_utf8(cp1252_to_utf8(std::string("\x00\x7F\xFF", 3))), std::string_view::npos);
}

TEST(SepLine, SetsTheDelimiterAndIsNoData) {
    auto sep = sep_line("sep=;\r\nPO;QTY\n");
    ASSERT_TRUE(sep);
    EXPECT_EQ(sep->delimiter, ';');
    EXPECT_EQ(sep->rest, "PO;QTY\n");
    EXPECT_EQ(sep_line("sep=|")->rest, "");
    for (const char* text : {"PO;QTY\n", "sep=;;\n", "sep=\n", "Sep list\n"}) EXPECT_FALSE(sep_line(text)) << text;
}
