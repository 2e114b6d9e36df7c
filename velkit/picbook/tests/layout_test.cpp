#include "layout.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace velkit::picbook;

namespace {
// The template configuration: page 297, margins 10 and 5, title buffer 25,
// row gap 10, two experiments per page, two columns.
constexpr double kTitleBuffer = 25;
constexpr double kRowGap = 10;
double template_budget() { return group_budget(usable_height(297, 10, 5), 2); }
}  // namespace

TEST(LayoutTemplate, BudgetAndColumnWidth) {
    EXPECT_DOUBLE_EQ(usable_height(297, 10, 5), 282);
    EXPECT_DOUBLE_EQ(template_budget(), 141);
    EXPECT_DOUBLE_EQ(column_width(2), 87.5);
    EXPECT_DOUBLE_EQ(column_width(3), 170.0 / 3);
    EXPECT_DOUBLE_EQ(column_width(1), 180);
}

struct WorkedExample {
    int images;
    int rows;
    double width;
    double height;
};

class LayoutWorkedExample : public ::testing::TestWithParam<WorkedExample> {};

TEST_P(LayoutWorkedExample, CellSizeOfTemplateGroup) {
    const auto& example = GetParam();
    int rows = row_count(example.images, 2);
    EXPECT_EQ(rows, example.rows);
    CellSize cell = cell_size(rows, column_width(2), 0.75, template_budget(), kTitleBuffer, kRowGap);
    EXPECT_NEAR(cell.width, example.width, 1e-9);
    EXPECT_NEAR(cell.height, example.height, 1e-9);
    EXPECT_NEAR(cell.height / cell.width, 0.75, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Template, LayoutWorkedExample,
                         ::testing::Values(WorkedExample{2, 1, 87.5, 65.625},      // width limits
                                           WorkedExample{4, 2, 64, 48},            // height limits
                                           WorkedExample{5, 3, (116.0 / 3 - 10) / 0.75, 116.0 / 3 - 10}),
                         [](const auto& info) { return std::to_string(info.param.images) + "Images"; });

TEST(CellSize, EqualityTakesTheWidthBranch) {
    // 116 / 2 - 10 = 48 is exactly the height the column width gives at ratio 0.6.
    CellSize cell = cell_size(2, 80, 0.6, 141, kTitleBuffer, kRowGap);
    EXPECT_DOUBLE_EQ(cell.width, 80);
    EXPECT_DOUBLE_EQ(cell.height, 48);
}

TEST(CellSize, NoRowsGiveColumnWidthAndZeroHeight) {
    CellSize cell = cell_size(0, 87.5, 0, 141, kTitleBuffer, kRowGap);
    EXPECT_DOUBLE_EQ(cell.width, 87.5);
    EXPECT_DOUBLE_EQ(cell.height, 0);
}

TEST(CellSize, NoLowerBoundWhenBudgetIsUsedUp) {
    CellSize cell = cell_size(1, 87.5, 0.75, 30, kTitleBuffer, kRowGap);
    EXPECT_DOUBLE_EQ(cell.height, -5);
}

TEST(RowCount, RoundsUp) {
    EXPECT_EQ(row_count(1, 3), 1);
    EXPECT_EQ(row_count(3, 3), 1);
    EXPECT_EQ(row_count(4, 3), 2);
    EXPECT_EQ(row_count(0, 2), 0);
}

TEST(LayoutArguments, BelowOneIsRejected) {
    EXPECT_THROW(group_budget(282, 0), std::invalid_argument);
    EXPECT_THROW(group_budget(282, -1), std::invalid_argument);
    EXPECT_THROW(column_width(0), std::invalid_argument);
    EXPECT_THROW(row_count(3, 0), std::invalid_argument);
}

TEST(PlaceGroup, NewPageSeparatorOrAsIs) {
    // Template: bottom limit 292, budget 141, header ends at 20.
    EXPECT_EQ(place_group(151, 141, 297, 5, 10), Placement::kSeparator);
    EXPECT_EQ(place_group(151.01, 141, 297, 5, 10), Placement::kNewPage);
    EXPECT_EQ(place_group(20, 141, 297, 5, 10), Placement::kAsIs);
    EXPECT_EQ(place_group(20.5, 141, 297, 5, 10), Placement::kSeparator);
    // One experiment per page: any cursor below the top margin overflows.
    EXPECT_EQ(place_group(20, 282, 297, 5, 10), Placement::kNewPage);
}

TEST(Texts, HeaderCaptionAndColumns) {
    EXPECT_EQ(page_header_text(3), "Lab Report - Page 3");
    EXPECT_EQ(figure_caption(0, "run1"), "Figure 1:  run1");
    EXPECT_DOUBLE_EQ(column_x(0, 87.5), 15);
    EXPECT_DOUBLE_EQ(column_x(1, 87.5), 107.5);
}

TEST(FitInCell, KeepsTheImageRatioAndStandsOnTheBottomEdge) {
    // A cell of the tallest ratio 2.0 holding a wide plot of ratio 0.2.
    Box wide = fit_in_cell(15, 30, 40, 80, 0.2);
    EXPECT_DOUBLE_EQ(wide.width, 40);
    EXPECT_DOUBLE_EQ(wide.height, 8);
    EXPECT_DOUBLE_EQ(wide.x, 15);
    EXPECT_DOUBLE_EQ(wide.y + wide.height, 110);
    // Taller than the cell: as high as the cell, centred.
    Box tall = fit_in_cell(15, 30, 40, 20, 1.0);
    EXPECT_DOUBLE_EQ(tall.width, 20);
    EXPECT_DOUBLE_EQ(tall.height, 20);
    EXPECT_DOUBLE_EQ(tall.x, 25);
    EXPECT_DOUBLE_EQ(tall.y, 30);
}

TEST(Continuation, OnlyGroupsWhoseCellsWouldBeUnreadable) {
    double column = column_width(2);
    // The worked example's cells (48 and 28.67 mm high) are kept.
    EXPECT_FALSE(needs_continuation({64, 48}, column, 0.75));
    EXPECT_FALSE(needs_continuation({38.22, 28.67}, column, 0.75));
    EXPECT_TRUE(needs_continuation({10, 7.5}, column, 0.75));
    EXPECT_TRUE(needs_continuation({column, -5}, column, 0.75));
    // Flat images whose width-limited height is below 25 mm are not moved
    // unless the budget makes them flatter still.
    EXPECT_FALSE(needs_continuation({column, column * 0.1}, column, 0.1));
    EXPECT_TRUE(needs_continuation({50, 5}, column, 0.1));
}

TEST(Continuation, CellIsWidthLimitedButFitsAPage) {
    CellSize free = continuation_cell(87.5, 0.75, 200);
    EXPECT_DOUBLE_EQ(free.width, 87.5);
    EXPECT_DOUBLE_EQ(free.height, 65.625);
    CellSize capped = continuation_cell(180, 3.0, 200);
    EXPECT_DOUBLE_EQ(capped.height, 200);
    EXPECT_DOUBLE_EQ(capped.width, 200.0 / 3);
}

TEST(UsableColumns, ColumnsThatDoNotFitTheWidthAreDropped) {
    EXPECT_EQ(usable_columns(1), 1);
    EXPECT_EQ(usable_columns(15), 15);
    EXPECT_EQ(usable_columns(40), 18);
    EXPECT_GE(column_width(usable_columns(1000)), kMinColumnWidth);
}
