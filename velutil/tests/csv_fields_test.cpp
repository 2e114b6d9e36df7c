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

TEST(CsvRecords, EmptyLinesAreRecordsOfOneEmptyField) {
    auto records = all_records("a\n\nb\n");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1], (std::vector<std::string>{""}));
}

TEST(DetectDelimiter, MostFrequentOutsideQuotes) {
    EXPECT_EQ(detect_delimiter("PO;SO;QTY\n1;2;3\n"), ';');
    EXPECT_EQ(detect_delimiter("PO\tSO\n\"a;b;c;d\"\t2\n"), '\t');
    EXPECT_EQ(detect_delimiter("Report of orders\n"), ',');
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
