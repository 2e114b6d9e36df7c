#include "cell_reference.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace velutil;

TEST(CellReference, LettersNameTheColumnAndDigitsTheRow) {
    EXPECT_EQ(parse_cell_reference("H2").column, 7);
    EXPECT_EQ(parse_cell_reference("H2").row, 2);
    EXPECT_EQ(parse_cell_reference("A1").column, 0);
    EXPECT_EQ(parse_cell_reference("Z9").column, 25);
    EXPECT_EQ(parse_cell_reference("AA10").column, 26);
    EXPECT_EQ(parse_cell_reference("AA10").row, 10);
    EXPECT_EQ(parse_cell_reference("XFD1048576").column, 16383);
}

TEST(CellReference, AcceptsLowerCaseBlanksAndAbsoluteMarkers) {
    EXPECT_EQ(parse_cell_reference(" r3 ").column, 17);
    EXPECT_EQ(parse_cell_reference("$O$3").column, 14);
    EXPECT_EQ(parse_cell_reference("$O$3").row, 3);
}

TEST(CellReference, RefusesWhatIsNotACellOrLiesOutsideASheet) {
    for (const char* text : {"", "H", "2", "2H", "H0", "H-2", "H2:H9", "H 2", "XFE1", "A1048577", "Ä2"}) {
        EXPECT_THROW(parse_cell_reference(text), std::invalid_argument) << text;
    }
}

TEST(ColumnLetters, RoundTripsWithTheParser) {
    EXPECT_EQ(column_letters(0), "A");
    EXPECT_EQ(column_letters(25), "Z");
    EXPECT_EQ(column_letters(26), "AA");
    EXPECT_EQ(column_letters(701), "ZZ");
    EXPECT_EQ(column_letters(702), "AAA");
    for (int column : {0, 51, 702, 16383}) {
        EXPECT_EQ(parse_cell_reference(column_letters(column) + "1").column, column);
    }
}
