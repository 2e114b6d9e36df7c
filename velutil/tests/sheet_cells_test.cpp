#include "sheet_cells.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>
#include <string>

using namespace velutil;

TEST(IntegerCell, SixteenDigitsAndMoreBecomeText) {
    std::string digits;
    Cell largest = integer_cell(999999999999999, digits);
    EXPECT_EQ(largest.kind, CellKind::kNumber);
    EXPECT_EQ(largest.number, 999999999999999.0);

    for (int64_t value : {int64_t{1000000000000000}, int64_t{-1000000000000000}, std::numeric_limits<int64_t>::min()}) {
        Cell cell = integer_cell(value, digits);
        EXPECT_EQ(cell.kind, CellKind::kText) << value;
        EXPECT_EQ(cell.text, std::to_string(value));
        EXPECT_EQ(cell_width(cell), std::to_string(value).size());
    }
}

TEST(FloatCell, MissingAndInfiniteValues) {
    EXPECT_EQ(float_cell(std::numeric_limits<double>::quiet_NaN()).kind, CellKind::kBlank);
    Cell infinite = float_cell(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(infinite.kind, CellKind::kText);
    EXPECT_EQ(infinite.text, "-inf");
    EXPECT_EQ(float_cell(2.5).number, 2.5);
}

TEST(TextCell, LimitCountsCharactersNotBytes) {
    EXPECT_EQ(text_cell("").kind, CellKind::kBlank);
    std::string accented;
    for (size_t i = 0; i < kMaxCellText; ++i) accented += "\xC3\xA9";  // é, two bytes each
    EXPECT_EQ(text_cell(accented).kind, CellKind::kText);
    try {
        text_cell(std::string(kMaxCellText + 1, 'x'));
        FAIL() << "a text longer than a cell was accepted";
    } catch (const WorkbookError& error) {
        EXPECT_NE(std::string(error.what()).find("32768 characters"), std::string::npos) << error.what();
    }
}

TEST(DateSerials, AgreeWithSpreadsheetDayNumbers) {
    std::string text;
    EXPECT_EQ(date_cell(1970, 1, 1, text).number, 25569);
    EXPECT_EQ(date_cell(2024, 1, 15, text).number, 45306);
    EXPECT_EQ(date_cell(2024, 1, 15, text).kind, CellKind::kDate);
    EXPECT_EQ(date_cell(1900, 1, 1, text).number, 1);
    // The phantom 1900-02-29 lies between these two.
    EXPECT_EQ(date_cell(1900, 2, 28, text).number, 59);
    EXPECT_EQ(date_cell(1900, 3, 1, text).number, 61);
}

TEST(DateSerials, TimesOfDayAndMidnight) {
    std::string text;
    Cell noon = datetime_cell(2024, 1, 15, 12, 0, 0, 0, text);
    EXPECT_EQ(noon.kind, CellKind::kDateTime);
    EXPECT_DOUBLE_EQ(noon.number, 45306.5);
    EXPECT_EQ(datetime_cell(2024, 1, 15, 0, 0, 0, 0, text).kind, CellKind::kDate);
    EXPECT_EQ(datetime_cell(2024, 1, 15, 0, 0, 0, 1, text).kind, CellKind::kDateTime);
    Cell evening = time_cell(18, 0, 0, 0);
    EXPECT_EQ(evening.kind, CellKind::kTime);
    EXPECT_DOUBLE_EQ(evening.number, 0.75);
}

TEST(DateSerials, TimestampsInEveryUnitAndBefore1970) {
    std::string text;
    const int64_t day = 86400;
    const int64_t noon_2024_01_15 = (45306 - 25569) * day + day / 2;
    for (int64_t per_second : {int64_t{1}, int64_t{1000}, int64_t{1000000}, int64_t{1000000000}}) {
        Cell cell = timestamp_cell(noon_2024_01_15 * per_second, per_second, text);
        EXPECT_EQ(cell.kind, CellKind::kDateTime) << per_second;
        EXPECT_DOUBLE_EQ(cell.number, 45306.5) << per_second;
    }
    // 1969-12-31 18:00: the day before the epoch, not the epoch's day.
    EXPECT_DOUBLE_EQ(timestamp_cell(-6 * 3600, 1, text).number, 25568.75);
    Cell midnight = timestamp_cell(-day * 1000, 1000, text);
    EXPECT_EQ(midnight.kind, CellKind::kDate);
    EXPECT_EQ(midnight.number, 25568);
}

TEST(DateSerials, DaysBefore1900AreWrittenAsText) {
    std::string text;
    Cell date = date_cell(1850, 5, 1, text);
    EXPECT_EQ(date.kind, CellKind::kText);
    EXPECT_EQ(date.text, "1850-05-01");
    EXPECT_EQ(datetime_cell(1899, 12, 31, 13, 45, 7, 5, text).text, "1899-12-31 13:45:07");
    EXPECT_EQ(date_cell(1, 1, 1, text).text, "0001-01-01");
    // 1850-05-01 12:00 in nanoseconds since 1970.
    const int64_t days = -43709;
    Cell stamp = timestamp_cell((days * 86400 + 43200) * int64_t{1000000000}, 1000000000, text);
    EXPECT_EQ(stamp.text, "1850-05-01 12:00:00");
    EXPECT_EQ(cell_width(stamp), 19u);
}

TEST(LiteralSheetText, EscapesWhatWouldReadAsAnEscape) {
    std::string out;
    EXPECT_EQ(literal_sheet_text("PO_4500_x", out), "PO_4500_x");
    EXPECT_EQ(literal_sheet_text("_x0041_", out), "_x005F_x0041_");
    EXPECT_EQ(literal_sheet_text("a_x00e9_b_x12G4_", out), "a_x005F_x00e9_b_x12G4_");
    EXPECT_EQ(literal_sheet_text(std::string_view("x\0y_x0000_", 10), out), "x_x0000_y_x005F_x0000_");
}

TEST(CellWidth, NumbersAsShownAndWideCharacters) {
    EXPECT_EQ(cell_width(float_cell(-12)), 3u);
    EXPECT_EQ(cell_width(float_cell(0.25)), 4u);
    EXPECT_EQ(cell_width(float_cell(1.0 / 3)), 11u);  // shown rounded
    EXPECT_EQ(cell_width(float_cell(1e20)), 11u);
    EXPECT_EQ(cell_width(text_cell("\xE6\x97\xA5\xE6\x9C\xAC")), 4u);  // two CJK characters
    std::string text;
    EXPECT_EQ(cell_width(date_cell(2024, 1, 1, text)), 10u);
    EXPECT_EQ(cell_width(bool_cell(false)), 5u);
}

TEST(CellWidth, IgnoresTheLocale) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no comma-decimal locale here";
    EXPECT_EQ(cell_width(float_cell(1234.5)), 6u);
    EXPECT_EQ(cell_width(float_cell(0.125)), 5u);
    std::setlocale(LC_ALL, "C");
}

TEST(ColumnFit, HeaderCountsAndWidthIsCapped) {
    ColumnFit fit("PO");
    EXPECT_EQ(fit.width(), 5);  // header, bold, plus air
    fit.add(text_cell("0045001234"));
    EXPECT_EQ(fit.width(), 12);
    fit.add(blank_cell());
    EXPECT_EQ(fit.width(), 12);
    fit.add(text_cell(std::string(200, 'x')));
    EXPECT_EQ(fit.width(), 60);
}

TEST(SheetNameProblem, NamesASpreadsheetRefuses) {
    const std::vector<std::string> taken{"byPO"};
    EXPECT_EQ(sheet_name_problem("byRDD_SYS", taken), "");
    EXPECT_EQ(sheet_name_problem(std::string(31, 'n'), taken), "");
    std::string long_accented;
    for (int i = 0; i < 31; ++i) long_accented += "\xC3\xA9";
    EXPECT_EQ(sheet_name_problem(long_accented, taken), "");

    struct Case {
        std::string name;
        const char* because;
    };
    for (const auto& [name, because] : {Case{"", "empty"}, Case{std::string(32, 'n'), "longer than 31"},
                                        Case{"a/b", "one of the characters"}, Case{"x[1]", "one of the characters"},
                                        Case{"'quoted", "apostrophe"}, Case{"BYpo", "used twice"}}) {
        std::string problem = sheet_name_problem(name, taken);
        EXPECT_NE(problem.find(because), std::string::npos) << name << ": " << problem;
    }
}

TEST(CheckedSheetRows, BlocksSideBySide) {
    EXPECT_EQ(checked_sheet_rows("s", {{0, 7, 100}, {9, 3, 2}}), 100u);
    EXPECT_EQ(checked_sheet_rows("s", {{0, 2, 1}, {2, 2, 5}}), 5u);  // adjacent is fine
    EXPECT_EQ(checked_sheet_rows("s", {{0, 2, 1}, {1, 0, 0}}), 1u);  // an empty block takes no room
    EXPECT_EQ(checked_sheet_rows("s", {}), 0u);
}

TEST(CheckedSheetRows, RefusesWhatASheetCannotHold) {
    struct Case {
        std::vector<BlockShape> blocks;
        const char* because;
    };
    for (const auto& [blocks, because] : {
             Case{{{0, 3, 1}, {5, 2, 1}, {2, 2, 1}}, "overlap at column 2"},
             Case{{{4, 3, 1}, {0, 5, 1}}, "overlap at column 4"},
             Case{{{-1, 1, 1}}, "before the first column"},
             Case{{{16383, 2, 1}}, "more columns than a sheet can hold"},
             Case{{{0, 1, 1048576}}, "1048576 rows"},
         }) {
        try {
            checked_sheet_rows("byPO", blocks);
            ADD_FAILURE() << "accepted: " << because;
        } catch (const WorkbookError& error) {
            EXPECT_NE(std::string(error.what()).find(because), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find("'byPO'"), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(checked_sheet_rows("s", {{16383, 1, 1048575}}), 1048575u);
}
