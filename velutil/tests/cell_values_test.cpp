#include "cell_values.hpp"
#include "text_kit.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace velutil;

TEST(ClassifyNumber, PlainIntegersAndDecimals) {
    EXPECT_EQ(classify_number("10"), NumberKind::kInteger);
    EXPECT_EQ(classify_number(" -3 "), NumberKind::kInteger);
    EXPECT_EQ(classify_number("0"), NumberKind::kInteger);
    EXPECT_EQ(classify_number("10.0"), NumberKind::kDecimal);
    EXPECT_EQ(classify_number("0.25"), NumberKind::kDecimal);
}

TEST(ClassifyNumber, MoreThanFifteenSignificantDigitsStayText) {
    EXPECT_EQ(classify_number("123456789012345"), NumberKind::kInteger);
    EXPECT_EQ(classify_number("1234567890123456"), NumberKind::kText);
    EXPECT_EQ(classify_number("12345678901234567890"), NumberKind::kText);
    EXPECT_EQ(classify_number("0.1234567890123456"), NumberKind::kText);
    EXPECT_EQ(classify_number("1.5"), NumberKind::kDecimal);
}

TEST(ReadNumber, DecimalCommaWithThousandsPoints) {
    struct Case {
        const char* text;
        NumberKind kind;
        double value;
    };
    for (const Case& c : {Case{"1.000", NumberKind::kInteger, 1000}, Case{"1.000,5", NumberKind::kDecimal, 1000.5},
                          Case{"2,5", NumberKind::kDecimal, 2.5}, Case{"-12.345.678", NumberKind::kInteger, -12345678},
                          Case{"0,25", NumberKind::kDecimal, 0.25}, Case{" 10 ", NumberKind::kInteger, 10}}) {
        Number number = read_number(c.text, kDecimalComma);
        EXPECT_EQ(number.kind, c.kind) << c.text;
        EXPECT_EQ(number.decimal, c.value) << c.text;
    }
    // Points that are no thousands grouping, and identifiers, stay text.
    for (const char* text : {"1.5", "1.00", "12345.678", "1.000.00", ".500", "0045", "1,000.5", "2,"}) {
        EXPECT_EQ(classify_number(text, kDecimalComma), NumberKind::kText) << text;
    }
    EXPECT_EQ(classify_number("1.000"), NumberKind::kDecimal);  // a decimal point: one
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

TEST(SerialDates, BothDateSystems) {
    auto is = [](CivilDate date, int year, int month, int day) {
        return date.year == year && date.month == month && date.day == day;
    };
    EXPECT_TRUE(is(date_of_serial(1), 1900, 1, 1));
    EXPECT_TRUE(is(date_of_serial(59), 1900, 2, 28));
    EXPECT_TRUE(is(date_of_serial(61), 1900, 3, 1));
    EXPECT_TRUE(is(date_of_serial(45356), 2024, 3, 5));
    EXPECT_TRUE(is(date_of_serial(32874), 1990, 1, 1));
    EXPECT_TRUE(is(date_of_serial(73050), 2099, 12, 31));
    EXPECT_TRUE(is(date_of_serial(0, true), 1904, 1, 1));
}

// A process that has switched to a decimal-comma locale reads and writes
// numbers as any other.
TEST(CommaDecimalLocale, NumbersIgnoreTheLocale) {
    std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    Number point = read_number("2.5");
    Number comma = read_number("1.000,5", kDecimalComma);
    std::string key = number_text(10.5);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(point.kind, NumberKind::kDecimal);
    EXPECT_EQ(point.decimal, 2.5);
    EXPECT_EQ(comma.decimal, 1000.5);
    EXPECT_EQ(key, "10.5");
}

TEST(TrimInvisible, SpacesReadersDoNotSeeGoAtBothEndsOnly) {
    EXPECT_EQ(trim_invisible("\xC2\xA0" "4500\xE2\x80\x8B"), "4500");       // no-break, zero-width
    EXPECT_EQ(trim_invisible("\xEF\xBB\xBF 45 00\xE2\x80\xAF\t"), "45 00");  // BOM, narrow no-break
    EXPECT_EQ(trim_invisible("\xE2\x80\x8B\xE3\x80\x80"), "");
    EXPECT_EQ(trim_invisible("M\xC3\xBC"), "M\xC3\xBC");  // a letter at the end stays whole
    EXPECT_EQ(trim_invisible("\xC3"), "\xC3");           // a broken sequence is no space
}
