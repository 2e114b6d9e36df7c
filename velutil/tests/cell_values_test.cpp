#include "cell_values.hpp"

#include <gtest/gtest.h>

using namespace velutil;

TEST(ClassifyNumber, PlainIntegersAndDecimals) {
    EXPECT_EQ(classify_number("10"), NumberKind::kInteger);
    EXPECT_EQ(classify_number(" -3 "), NumberKind::kInteger);
    EXPECT_EQ(classify_number("0"), NumberKind::kInteger);
    EXPECT_EQ(classify_number("10.0"), NumberKind::kDecimal);
    EXPECT_EQ(classify_number("0.25"), NumberKind::kDecimal);
    // Too large for 64 bits: still a number, kept as a decimal.
    EXPECT_EQ(classify_number("123456789012345678901234"), NumberKind::kDecimal);
}

TEST(ClassifyNumber, IdentifiersAndOtherNotationsStayText) {
    for (const char* text : {"0045001234", "00", "+5", ".5", "5.", "1e5", "1,000", "10 pcs", "", "-", "2024-01-15"}) {
        EXPECT_EQ(classify_number(text), NumberKind::kText) << text;
    }
}

TEST(ColumnKind, OneTextMakesTheWholeColumnText) {
    using Values = std::vector<std::optional<std::string>>;
    EXPECT_EQ(column_kind(Values{"1", std::nullopt, "20"}), NumberKind::kInteger);
    EXPECT_EQ(column_kind(Values{"1", "2.5"}), NumberKind::kDecimal);
    EXPECT_EQ(column_kind(Values{"45001234", "0045001235"}), NumberKind::kText);
    EXPECT_EQ(column_kind(Values{std::nullopt}), NumberKind::kText);
}

TEST(NumberKey, WholeNumbersAreTheirIntegerDigits) {
    EXPECT_EQ(number_key(10.0), "10");
    EXPECT_EQ(number_key(-0.0), "0");
    EXPECT_EQ(number_key(-12.0), "-12");
    EXPECT_EQ(number_key(45001234.0), "45001234");
    EXPECT_EQ(number_key(1e20), "100000000000000000000");
}

TEST(NumberKey, FractionsAreTheShortestExactText) {
    EXPECT_EQ(number_key(0.1), "0.1");
    EXPECT_EQ(number_key(10.25), "10.25");
    EXPECT_EQ(number_key(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(number_key(1.0 / 0.0), "inf");
}

TEST(DisplayWidth, WideCharactersCountTwo) {
    EXPECT_EQ(display_width("SO_POS"), 6u);
    EXPECT_EQ(display_width("Müller"), 6u);
    EXPECT_EQ(display_width("訂單"), 4u);
    EXPECT_EQ(display_width("ＡＢ"), 4u);
    EXPECT_EQ(display_width("e\xCC\x81"), 1u);  // e + combining acute
}

TEST(TrimBlanks, RemovesBlanksAtBothEnds) {
    EXPECT_EQ(trim_blanks(" \t0045 \r\n"), "0045");
    EXPECT_TRUE(is_blank_text(" \t "));
    EXPECT_FALSE(is_blank_text(" x "));
}
