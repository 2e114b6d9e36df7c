#include "file_name.hpp"
#include "text_kit.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace velkit::receipt_sort;

TEST(SanitizeNamePart, RemovesTheNineRefusedCharactersAndOuterBlanks) {
    EXPECT_EQ(sanitize_name_part("  Ann/Lee: Trip  "), "AnnLee Trip");
    EXPECT_EQ(sanitize_name_part("a\\b/c*d?e:f\"g<h>i|j"), "abcdefghij");
    EXPECT_EQ(sanitize_name_part("???"), "");
    EXPECT_EQ(sanitize_name_part(""), "");
    EXPECT_EQ(sanitize_name_part("2024-12-07 06:22:16"), "2024-12-07 062216");
    // Everything else stays, dots, underscores and blanks inside included.
    EXPECT_EQ(sanitize_name_part("a.b_c-d e"), "a.b_c-d e");
}

TEST(SanitizeNamePart, RemovesControlCharactersAnywhereAndBreaksBecomeBlanks) {
    EXPECT_EQ(sanitize_name_part("Ann\nLee"), "Ann Lee");
    EXPECT_EQ(sanitize_name_part("Ann \r\n  Lee"), "Ann Lee");
    EXPECT_EQ(sanitize_name_part("a\tb\rc\x7f" "d"), "a b cd");
    EXPECT_EQ(sanitize_name_part(std::string("a\0b", 3)), "ab");
    EXPECT_EQ(sanitize_name_part("x\xC2\x85y\xC2\x9Fz"), "x yz");  // NEL breaks a line; APC is a control
    EXPECT_EQ(sanitize_name_part("\xC2\xA0 Ann \xC2\xA0"), "Ann");  // no-break space is a blank, not a control
}

TEST(SanitizeNamePart, InvisibleFormatCharactersAndBlankRunsGo) {
    // U+202E would make "..._xlsx" display as an .exe.
    EXPECT_EQ(sanitize_name_part("Rechnung\xE2\x80\xAExcod.exe"), "Rechnungxcod.exe");
    EXPECT_EQ(sanitize_name_part("A\xE2\x80\x8B" "B\xEF\xBB\xBF" "C\xE2\x81\xA6" "D"), "ABCD");
    EXPECT_EQ(sanitize_name_part("Ann   /  Lee"), "Ann Lee");
}

TEST(SanitizeNamePart, NoLeadingDotsNoTrailingDotsOrBlanks) {
    EXPECT_EQ(sanitize_name_part(".hidden"), "hidden");
    EXPECT_EQ(sanitize_name_part(" . .. Ann. . "), "Ann");
    EXPECT_EQ(sanitize_name_part("..."), "");
    EXPECT_EQ(sanitize_name_part("Dr. Lee"), "Dr. Lee");
    EXPECT_EQ(sanitize_name_part("./etc"), "etc");
}

TEST(SanitizeNamePart, KeepsNonAsciiLettersAndStripsUnicodeBlanks) {
    EXPECT_EQ(sanitize_name_part("Jürgen Größe"), "Jürgen Größe");
    EXPECT_EQ(sanitize_name_part("\xE3\x80\x80山田 太郎\xC2\xA0"), "山田 太郎");  // ideographic space, no-break space
    EXPECT_EQ(sanitize_name_part("\t\n\x1f x \x0b"), "x");
    EXPECT_EQ(sanitize_name_part("\xE2\x80\x83:\xE2\x80\x83"), "");  // em spaces around a colon
    // A zero-width space is an invisible format character and goes.
    EXPECT_EQ(sanitize_name_part("\xE2\x80\x8B" "a"), "a");
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

TEST(SpreadsheetNumber, IgnoresACommaDecimalLocale) {
    const char* german = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
        if ((german = std::setlocale(LC_ALL, name)) != nullptr) break;
    }
    if (german == nullptr) GTEST_SKIP() << "no German locale on this machine";
    std::string shown = velutil::number_text(1280.5, 15);
    std::string code = date_code({12, 7, 6, 22, 16, 530000});
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(shown, "1280.5");
    EXPECT_EQ(code, "1207_06221653");
}

TEST(FittedFileName, ShortNamesStayWhole) {
    EXPECT_EQ(fitted_file_name("Ann", "5", "1207_06221653"), "Ann_5_1207_06221653.xlsx");
}

TEST(FittedFileName, LongPartsAreCutToTheLimitAtCharacterBoundaries) {
    const std::string code = "1207_06221653";
    std::string long_name = std::string(330, 'a');
    std::string name = fitted_file_name(long_name, "1280.5", code);
    EXPECT_EQ(name.size(), kMostFileNameBytes);
    EXPECT_EQ(name, std::string(255 - 26, 'a') + "_1280.5_" + code + ".xlsx");

    // Two-byte letters are never split: the name ends one byte short.
    std::string umlauts;
    for (int i = 0; i < 200; ++i) umlauts += "\xC3\xBC";
    name = fitted_file_name(umlauts, "12", code);
    EXPECT_EQ(name.size(), kMostFileNameBytes - 1);
    EXPECT_EQ(name.substr(name.size() - 22), "_12_" + code + ".xlsx");

    // A very long amount gives way down to half the room; the name takes the rest.
    name = fitted_file_name(std::string(300, 'n'), std::string(300, '9'), code);
    EXPECT_EQ(name.size(), kMostFileNameBytes);
    EXPECT_EQ(name.find('9'), (255 - 20) - (255 - 20) / 2 + 1);
    // A cut that ends in a blank or a dot drops it.
    name = fitted_file_name(std::string(233, 'a') + " .bbb", "5", code);
    EXPECT_EQ(name, std::string(233, 'a') + "_5_" + code + ".xlsx");
    // Limits smaller than the fixed parts keep the date code whole.
    EXPECT_EQ(fitted_file_name("Ann", "5", code, 10), "__" + code + ".xlsx");
}
