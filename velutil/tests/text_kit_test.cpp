// The shared text rules, one table per rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "text_kit.hpp"

using namespace velutil;

namespace {

constexpr size_t kNone = std::string_view::npos;

struct Utf8Case {
    const char* what;
    std::string text;
    size_t first_invalid;
    size_t units;
};

TEST(TextKit, Utf8Validity) {
    const Utf8Case cases[] = {
        {"ascii", "plain", kNone, 5},
        {"two three four bytes", "\xC3\xBC\xE8\xA8\x82\xF0\x9F\x98\x80", kNone, 3},
        {"latin-1 byte", "M\xFCller", 1, 6},
        {"cut off at the end", "ab\xE8\xA8", 2, 4},
        {"overlong slash", "\xC0\xAF", 0, 2},
        {"overlong three bytes", "\xE0\x80\xAF", 0, 3},
        {"surrogate", "\xED\xA0\x80", 0, 3},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 0, 4},
        {"largest code point", "\xF4\x8F\xBF\xBF", kNone, 1},
        {"stray continuation", "a\x80z", 1, 3},
        {"lead without continuation", "\xC3z", 0, 2},
        {"FE and FF never occur", "\xFE\xFF", 0, 2},
        {"NUL is a character", std::string("a\0b", 3), kNone, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(find_invalid_utf8(c.text), c.first_invalid) << c.what;
        EXPECT_EQ(utf8_units(c.text), c.units) << c.what;
    }
}

TEST(TextKit, StrayBytesDecodeAloneAndEncodeBack) {
    const std::string texts[] = {"M\xFCller", "\xC0\xAF", "\xED\xA0\x80", "\xF0\x9F\x98", "x\xE2\x82\xACy\xFF"};
    for (const auto& text : texts) {
        std::string rebuilt;
        for (size_t at = 0; at < text.size();) {
            Utf8Unit unit = decode_utf8(text, at);
            if (!unit.valid) {
                EXPECT_EQ(unit.length, 1u);
                EXPECT_EQ(unit.code, kStrayByteBase + static_cast<unsigned char>(text[at]));
            }
            append_utf8(rebuilt, unit.code);
            at += unit.length;
        }
        EXPECT_EQ(rebuilt, text);
    }
    Utf8Unit euro = decode_utf8("\xE2\x82\xAC", 0);
    EXPECT_EQ(euro.code, U'\u20AC');
    EXPECT_TRUE(euro.valid);
    EXPECT_EQ(decode_utf8("\x85", 0).code, 0xDC85u);  // not NEL: never taken for white space
}

TEST(TextKit, Utf8PrefixNeverCutsACharacter) {
    struct Case {
        std::string text;
        size_t most;
        std::string prefix;
    };
    const Case cases[] = {
        {"abc", 2, "ab"},         {"abc", 10, "abc"},         {"a\xC3\xBC", 2, "a"},
        {"a\xC3\xBC", 3, "a\xC3\xBC"}, {"\xF0\x9F\x98\x80x", 3, ""}, {"a\xFF\xFE", 2, "a\xFF"},
        {"abc", 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_prefix(c.text, c.most), c.prefix) << c.text << " " << c.most;
    EXPECT_EQ(strip_utf8_bom("\xEF\xBB\xBFPO"), "PO");
    EXPECT_EQ(strip_utf8_bom("PO\xEF\xBB\xBF"), "PO\xEF\xBB\xBF");
}

TEST(TextKit, AsciiCaseLeavesOtherBytesAlone) {
    EXPECT_EQ(ascii_lower("Report.PNG \xC3\x84\xC4"), "report.png \xC3\x84\xC4");
    EXPECT_EQ(ascii_upper('z'), 'Z');
    EXPECT_EQ(ascii_upper('@'), '@');
    EXPECT_EQ(ascii_lower('['), '[');
    EXPECT_TRUE(equal_ignoring_ascii_case("Sheet1", "SHEET1"));
    EXPECT_FALSE(equal_ignoring_ascii_case("Sheet1", "Sheet"));
    EXPECT_FALSE(equal_ignoring_ascii_case("\xC3\x84", "\xC3\xA4"));  // Ä and ä differ beyond ASCII
    EXPECT_FALSE(equal_ignoring_ascii_case("@", "`"));
}

TEST(TextKit, NaturalOrderSortsAsAPersonCounts) {
    std::vector<std::string> names = {"ch10", "ch2",  "Ch1",  "ch01", "ch",     "b.png", "B.png",
                                      "a.png", "run2", "run010", "x99999999999999999999999",
                                      "x100000000000000000000000", "a01b", "a1c"};
    std::sort(names.begin(), names.end(), natural_less);
    const std::vector<std::string> expected = {"a.png", "a01b", "a1c",  "B.png",  "b.png",
                                               "ch",    "Ch1",  "ch01", "ch2",    "ch10",
                                               "run2",  "run010", "x99999999999999999999999",
                                               "x100000000000000000000000"};
    EXPECT_EQ(names, expected);
}

TEST(TextKit, NaturalOrderIsTotal) {
    const std::vector<std::string> names = {"", "0", "00", "1", "01", "a", "A", "a0", "a00", "a1b",
                                            "a01a", "\xC3\xA4", "_", "9z", "09Z"};
    for (const auto& x : names) {
        EXPECT_EQ(natural_compare(x, x), 0) << x;
        for (const auto& y : names) {
            if (x == y) continue;
            EXPECT_NE(natural_compare(x, y), 0) << x << " " << y;
            EXPECT_EQ(natural_compare(x, y) < 0, natural_compare(y, x) > 0) << x << " " << y;
            for (const auto& z : names) {
                if (natural_less(x, y) && natural_less(y, z)) {
                    EXPECT_TRUE(natural_less(x, z)) << x << " " << y << " " << z;
                }
            }
        }
    }
}

TEST(TextKit, SplitOnKeepsInnerEmptyPiecesOnly) {
    using Pieces = std::vector<std::string_view>;
    EXPECT_EQ(velutil::split_on("", '/'), Pieces{});
    EXPECT_EQ(velutil::split_on("a/b/", '/'), (Pieces{"a", "b"}));
    EXPECT_EQ(velutil::split_on("a//b", '/'), (Pieces{"a", "", "b"}));
    EXPECT_EQ(velutil::split_on("/a", '/'), (Pieces{"", "a"}));
}

TEST(TextKit, SpreadsheetErrorValues) {
    for (const char* text : {"#N/A", "#DIV/0!", " #VALUE! ", "#NAME?", "#SPILL!", "#CALC!", "#GETTING_DATA",
                             "#BLOCKED!", "#UNKNOWN!", "#NULL!", "#REF!", "#NUM!", "#FIELD!", "#BUSY!", "#CONNECT!"}) {
        EXPECT_TRUE(is_spreadsheet_error(text)) << text;
    }
    for (const char* text : {"#NA", "N/A", "#1", "", " ", "#n/a", "#SPILL", "\t#N/A", "#N/A #N/A"}) {
        EXPECT_FALSE(is_spreadsheet_error(text)) << text;
    }
}

TEST(TextKit, NumberText) {
    struct Case {
        double value;
        int digits;
        const char* text;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {12.0, 0, "12"},
        {-3.0, 0, "-3"},
        {2.5, 0, "2.5"},
        {0.1, 0, "0.1"},
        {0.1 + 0.2, 0, "0.30000000000000004"},
        {-0.0, 0, "0"},
        {45001234.0, 0, "45001234"},
        {1e20, 0, "100000000000000000000"},
        {1e21, 0, "1e+21"},
        {1e300, 0, "1e+300"},
        {0.000012, 0, "1.2e-05"},
        {nan, 0, "nan"},
        {inf, 0, "inf"},
        {-inf, 15, "-inf"},
        {0.1 + 0.2, 15, "0.3"},
        {1280.5, 15, "1280.5"},
        {100.0, 15, "100"},
        {-45.9, 15, "-45.9"},
        {1234567.891, 15, "1234567.891"},
        {123456789012345678.0, 15, "123456789012346000"},
        {0.000012, 15, "1.2e-05"},
        {1e-320, 15, "1e-320"},
        {0.99999999999999999, 15, "1"},
        {2.0 / 3.0, 3, "0.667"},
        {1.7976931348623157e308, 15, "1.79769313486232e+308"},
    };
    for (const auto& c : cases) EXPECT_EQ(number_text(c.value, c.digits), c.text) << c.value << " " << c.digits;
}

}  // namespace
