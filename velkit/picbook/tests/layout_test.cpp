#include "layout.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

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
    EXPECT_EQ(figure_caption(1, "run1"), "Figure 1:  run1");
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

TEST(TypicalRatio, MedianOfTheGroupNotItsExtreme) {
    EXPECT_DOUBLE_EQ(typical_ratio({}), kFallbackRatio);
    EXPECT_DOUBLE_EQ(typical_ratio({2.0}), 2.0);
    // Eleven plots and one 60x600 colour bar: the plots decide.
    std::vector<double> plots(11, 0.75);
    plots.push_back(10.0);
    EXPECT_DOUBLE_EQ(typical_ratio(plots), 0.75);
    // One portrait photo among landscape plots.
    EXPECT_DOUBLE_EQ(typical_ratio({0.6, 1.5, 0.6, 0.6}), 0.6);
    // Two shapes, one each: halfway on a log scale, unchanged by order.
    EXPECT_DOUBLE_EQ(typical_ratio({2.0, 0.5}), 1.0);
    EXPECT_DOUBLE_EQ(typical_ratio({0.5, 2.0}), 1.0);
}

TEST(DrawnLongerSide, OutlierIsAsHighAsTheCell) {
    CellSize cell{40, 30};
    EXPECT_DOUBLE_EQ(drawn_longer_side(cell, 0.75), 40);
    EXPECT_DOUBLE_EQ(drawn_longer_side(cell, 10.0), 30);  // 3 x 30 mm bar
    EXPECT_DOUBLE_EQ(drawn_longer_side(cell, 0.1), 40);
    EXPECT_DOUBLE_EQ(drawn_longer_side({40, -5}, 0.75), 0);
}

struct ContinuationCase {
    const char* name;
    CellSize cell;
    CellSize roomiest;
    std::vector<double> ratios;
    bool continues;
};

class Continuation : public ::testing::TestWithParam<ContinuationCase> {};

TEST_P(Continuation, OnlyWhenADrawnImageIsUnreadableAndCouldBeLarger) {
    const auto& c = GetParam();
    EXPECT_EQ(needs_continuation(c.cell, c.roomiest, c.ratios), c.continues);
}

const double kColumn2 = (180.0 - 5) / 2;
INSTANTIATE_TEST_SUITE_P(
    Cases, Continuation,
    ::testing::Values(
        // The worked example's cells (48 and 28.67 mm high) are kept.
        ContinuationCase{"WorkedExample", {64, 48}, {kColumn2, kColumn2 * 0.75}, {0.75, 0.75}, false},
        ContinuationCase{"ThreeRows", {38.22, 28.67}, {kColumn2, kColumn2 * 0.75}, {0.75}, false},
        ContinuationCase{"TinyCells", {10, 7.5}, {kColumn2, kColumn2 * 0.75}, {0.75}, true},
        ContinuationCase{"BudgetUsedUp", {kColumn2, -5}, {kColumn2, kColumn2 * 0.75}, {0.75}, true},
        // A flat plot is read along its width: 50 mm is enough.
        ContinuationCase{"FlatButWide", {50, 5}, {kColumn2, kColumn2 * 0.1}, {0.1}, false},
        // A bar drawn 22 mm high in a cell whose plots are fine still moves
        // the group when a page can give it more height.
        ContinuationCase{"BarTooShort", {30, 22}, {41, 30.75}, {0.75, 0.75, 10.0}, true},
        // ... but not when the roomiest cell is no better for it.
        ContinuationCase{"BarCannotGrow", {30, 22}, {30, 22}, {0.75, 10.0}, false},
        // Narrow columns: 20 mm is all a page can give, so it stays.
        ContinuationCase{"NarrowColumns", {20, 15}, {20, 15}, {0.75}, false},
        ContinuationCase{"NoReadableImage", {10, 7.5}, {kColumn2, kColumn2 * 0.75}, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

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

TEST(FigureNumber, RowGroupOrReport) {
    // The sixth image (index 5) of a three-column group, after 7 earlier figures.
    EXPECT_EQ(figure_number(FigureNumbers::kRow, 5, 3, 7), 3);
    EXPECT_EQ(figure_number(FigureNumbers::kRow, 3, 3, 7), 1);
    EXPECT_EQ(figure_number(FigureNumbers::kGroup, 5, 3, 7), 6);
    EXPECT_EQ(figure_number(FigureNumbers::kReport, 5, 3, 7), 13);
    EXPECT_EQ(figure_number(FigureNumbers::kReport, 0, 3, 0), 1);
}

TEST(ExifOrientation, TurnsAndMirrorsOfTheEightValues) {
    struct Expected {
        int value, degrees;
        bool mirrored, swaps;
    };
    for (Expected e : {Expected{1, 0, false, false}, Expected{2, 0, true, false}, Expected{3, 180, false, false},
                       Expected{4, 180, true, false}, Expected{5, 270, true, true}, Expected{6, 90, false, true},
                       Expected{7, 90, true, true}, Expected{8, 270, false, true}, Expected{0, 0, false, false},
                       Expected{9, 0, false, false}}) {
        Orientation o = exif_orientation(e.value);
        EXPECT_EQ(o.clockwise_degrees, e.degrees) << e.value;
        EXPECT_EQ(o.mirrored, e.mirrored) << e.value;
        EXPECT_EQ(o.swaps_sides(), e.swaps) << e.value;
    }
}

TEST(StoredBox, SameCentreSidesSwappedWhenTurnedAQuarter) {
    Box shown{10, 20, 40, 30};
    Box turned = stored_box(shown, exif_orientation(6));
    EXPECT_DOUBLE_EQ(turned.width, 30);
    EXPECT_DOUBLE_EQ(turned.height, 40);
    EXPECT_DOUBLE_EQ(turned.x + turned.width / 2, 30);
    EXPECT_DOUBLE_EQ(turned.y + turned.height / 2, 35);
    Box upside_down = stored_box(shown, exif_orientation(3));
    EXPECT_DOUBLE_EQ(upside_down.x, 10);
    EXPECT_DOUBLE_EQ(upside_down.width, 40);
}

TEST(ResampledSize, OnlyAboveTheLimitAndNeverAboveIt) {
    // 4000 px over 59 mm is 1722 ppi; at 150 ppi: 348 px.
    PixelSize size = resampled_size(4000, 3000, 59, 150);
    EXPECT_EQ(size.width, 348);
    EXPECT_EQ(size.height, 261);
    EXPECT_LE(pixels_per_inch(size.width, 59), 150);
    // Within the limit, or no limit: unchanged.
    EXPECT_EQ(resampled_size(300, 200, 59, 150).width, 300);
    EXPECT_EQ(resampled_size(4000, 3000, 59, 0).width, 4000);
    // A 1-pixel-high strip stays one pixel high.
    EXPECT_EQ(resampled_size(10000, 1, 20, 100).height, 1);
}
