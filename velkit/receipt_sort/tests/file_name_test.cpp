#include "file_name.hpp"

#include <gtest/gtest.h>

using namespace velkit::receipt_sort;

TEST(SanitizeNamePart, RemovesTheNineRefusedCharactersAndOuterBlanks) {
    EXPECT_EQ(sanitize_name_part("  Ann/Lee: Trip  "), "AnnLee Trip");
    EXPECT_EQ(sanitize_name_part("a\\b/c*d?e:f\"g<h>i|j"), "abcdefghij");
    EXPECT_EQ(sanitize_name_part("???"), "");
    EXPECT_EQ(sanitize_name_part(""), "");
    EXPECT_EQ(sanitize_name_part("2024-12-07 06:22:16"), "2024-12-07 062216");
    // Everything else stays, dots, underscores and control characters inside included.
    EXPECT_EQ(sanitize_name_part("a.b_c-d\te"), "a.b_c-d\te");
}

TEST(SanitizeNamePart, KeepsNonAsciiLettersAndStripsUnicodeBlanks) {
    EXPECT_EQ(sanitize_name_part("Jürgen Größe"), "Jürgen Größe");
    EXPECT_EQ(sanitize_name_part("\xE3\x80\x80山田 太郎\xC2\xA0"), "山田 太郎");  // ideographic space, no-break space
    EXPECT_EQ(sanitize_name_part("\t\n\x1f x \x0b"), "x");
    EXPECT_EQ(sanitize_name_part("\xE2\x80\x83:\xE2\x80\x83"), "");  // em spaces around a colon
    // A zero-width space is not white space and stays.
    EXPECT_EQ(sanitize_name_part("\xE2\x80\x8B" "a"), "\xE2\x80\x8B" "a");
}

TEST(SanitizeNamePart, InvalidUtf8IsKeptAsIs) {
    EXPECT_EQ(sanitize_name_part(" \xFF" "a\xC3 "), "\xFF" "a\xC3");
}

TEST(DateCode, TwoDigitFieldsAndTruncatedHundredths) {
    EXPECT_EQ(date_code({12, 7, 6, 22, 16, 530000}), "1207_06221653");
    EXPECT_EQ(date_code({1, 2, 3, 4, 5, 999999}), "0102_03040599");
    EXPECT_EQ(date_code({10, 31, 23, 59, 59, 9999}), "1031_23595900");
}

TEST(NewFileName, PartsJoinedByUnderscores) {
    EXPECT_EQ(new_file_name("Sample", "1280", "1207_06221653"), "Sample_1280_1207_06221653.xlsx");
    EXPECT_EQ(new_file_name("", "1280.5", "0101_00000000"), "_1280.5_0101_00000000.xlsx");
}

TEST(IsDryRun, OnlyTrueInAnyLetterCase) {
    for (const char* on : {"True", "true", "TRUE", "tRuE"}) EXPECT_TRUE(is_dry_run(on)) << on;
    for (const char* off : {"False", "1", "yes", "None", "", " true", "true ", "truee"}) {
        EXPECT_FALSE(is_dry_run(off)) << off;
    }
}
