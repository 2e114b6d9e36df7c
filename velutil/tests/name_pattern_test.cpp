#include "name_pattern.hpp"

#include <gtest/gtest.h>

#include <clocale>

using namespace velutil;

TEST(MatchFileName, PlainPatternIsSubstringOfStem) {
    auto match = match_file_name("Result_g8_Peak_60dB_run1.png", "g8_Peak_60dB", "Result");
    EXPECT_TRUE(match.matched);
    EXPECT_EQ(match.caption, "g8_Peak_60dB_run1");
    // The extension is not part of the name that is searched.
    EXPECT_FALSE(match_file_name("Result_a.png", "png", "").matched);
}

TEST(MatchFileName, PrefixMustStartTheStem) {
    EXPECT_FALSE(match_file_name("Other_g8_Peak.png", "g8", "Result").matched);
    EXPECT_FALSE(match_file_name("x_Result_g8.png", "g8", "Result").matched);
    auto no_prefix = match_file_name("x_Result_g8.png", "g8", "");
    EXPECT_TRUE(no_prefix.matched);
    EXPECT_EQ(no_prefix.caption, "x_Result_g8");
}

TEST(MatchFileName, CaseCounts) { EXPECT_FALSE(match_file_name("Result_PEAK.png", "peak", "Result").matched); }

TEST(MatchFileName, CaptionFallsBackToStem) {
    auto match = match_file_name("Result_.png", "Result", "Result");
    EXPECT_TRUE(match.matched);
    EXPECT_EQ(match.caption, "Result_");
}

TEST(MatchFileName, WildcardMatchesWholeCaptionStemOrName) {
    EXPECT_TRUE(match_file_name("Result_range_10m.png", "range_*m", "Result").matched);
    EXPECT_FALSE(match_file_name("Result_range_10m_old.png", "range_*m", "Result").matched);
    EXPECT_TRUE(match_file_name("Result_range_10m.png", "Result_range_??m", "Result").matched);
    EXPECT_TRUE(match_file_name("Result_range_10m.png", "*.png", "Result").matched);
    EXPECT_TRUE(match_file_name("Result_ch3.png", "ch[0-9]", "Result").matched);
    EXPECT_FALSE(match_file_name("Result_chA.png", "ch[0-9]", "Result").matched);
}

TEST(HasWildcard, RecognisesGlobCharacters) {
    EXPECT_TRUE(has_wildcard("a*"));
    EXPECT_TRUE(has_wildcard("a?"));
    EXPECT_TRUE(has_wildcard("[ab]"));
    EXPECT_FALSE(has_wildcard("g8_Peak_60dB"));
}

TEST(MatchFileName, WildcardsCountCodePointsNotBytes) {
    // "é" is two bytes in UTF-8 but one character for "?", also when the
    // process runs in the C locale, where the C library sees bytes.
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(match_file_name("Result_caf\xc3\xa9.png", "caf?", "Result").matched);
    EXPECT_FALSE(match_file_name("Result_caf\xc3\xa9.png", "caf??", "Result").matched);
    EXPECT_TRUE(match_file_name("Result_\xce\xbc" "V.png", "[\xce\xbc\xce\xb1]V", "Result").matched);
    EXPECT_TRUE(match_file_name("Result_b.png", "[a-c]", "Result").matched);
    EXPECT_FALSE(match_file_name("Result_b.png", "[!a-c]", "Result").matched);
}

TEST(MatchFileName, BytesThatAreNotUtf8MatchAsSingleCharacters) {
    auto match = match_file_name("Result_bad\xffname.png", "bad?name", "Result");
    EXPECT_TRUE(match.matched);
    EXPECT_EQ(match.caption, "bad\xffname");
    EXPECT_TRUE(match_file_name("Result_bad\xffname.png", "bad", "Result").matched);
    // A truncated sequence is two stray bytes, not one character.
    EXPECT_FALSE(match_file_name("x\xc3.png", "x??", "").matched);
    EXPECT_TRUE(match_file_name("x\xe2\x82.png", "x??", "").matched);
}

TEST(MatchFileName, UnclosedBracketIsLiteral) {
    EXPECT_TRUE(match_file_name("a[b.png", "a[b", "").matched);
    EXPECT_TRUE(match_file_name("a[b.png", "a[*", "").matched);
    EXPECT_TRUE(match_file_name("a]b.png", "a[]]b", "").matched);
}
