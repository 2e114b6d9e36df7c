#include "geometry.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace velkit::sheet_tile;

namespace {
constexpr double kA4W = 595;
constexpr double kA4H = 842;
const Grid kPortrait2x2{kA4W, kA4H, 20, 2, 2};
const Rect kTopLeft{20, 421, 277.5, 401};
const Box kA4Box{0, 0, kA4W, kA4H};

void expect_rect(const Rect& rect, double x, double y, double w, double h) {
    EXPECT_DOUBLE_EQ(rect.x, x);
    EXPECT_DOUBLE_EQ(rect.y, y);
    EXPECT_DOUBLE_EQ(rect.width, w);
    EXPECT_DOUBLE_EQ(rect.height, h);
}

void expect_point(Point p, double x, double y) {
    EXPECT_NEAR(p.x, x, 1e-9);
    EXPECT_NEAR(p.y, y, 1e-9);
}
}  // namespace

TEST(CellGrid, PortraitTwoByTwoFillsTopRowFirst) {
    CellSize cell = cell_size(kPortrait2x2);
    EXPECT_DOUBLE_EQ(cell.width, 277.5);
    EXPECT_DOUBLE_EQ(cell.height, 401);
    expect_rect(cell_rect(kPortrait2x2, 0), 20, 421, 277.5, 401);
    expect_rect(cell_rect(kPortrait2x2, 1), 297.5, 421, 277.5, 401);
    expect_rect(cell_rect(kPortrait2x2, 2), 20, 20, 277.5, 401);
    expect_rect(cell_rect(kPortrait2x2, 3), 297.5, 20, 277.5, 401);
}

TEST(CellGrid, LandscapeSingleCell) {
    expect_rect(cell_rect({kA4H, kA4W, 20, 1, 1}, 0), 20, 20, 802, 555);
}

TEST(CellGrid, RefusesEmptyGridAndKnowsThePrintableArea) {
    EXPECT_THROW(cell_size({kA4W, kA4H, 20, 0, 2}), std::invalid_argument);
    EXPECT_THROW(cell_size({kA4W, kA4H, 20, 2, -1}), std::invalid_argument);
    EXPECT_THROW(cell_size({kA4W, kA4H, 20, kMaxCellsPerSide + 1, 1}), std::invalid_argument);
    EXPECT_NO_THROW(cell_rect({kA4W, kA4H, 20, kMaxCellsPerSide, kMaxCellsPerSide}, 999'999));
    EXPECT_TRUE(has_printable_area(kA4W, kA4H, 0));
    EXPECT_TRUE(has_printable_area(kA4W, kA4H, 297));
    EXPECT_FALSE(has_printable_area(kA4W, kA4H, 297.5));
    EXPECT_FALSE(has_printable_area(kA4H, kA4W, 300));
}

TEST(FitPage, UnrotatedA4InTopLeftCell) {
    auto fit = fit_page(kA4Box, 0, kTopLeft);
    ASSERT_TRUE(fit);
    EXPECT_NEAR(fit->scale, 277.5 / 595 * 0.95, 1e-12);
    EXPECT_NEAR(fit->scale, 0.443067, 1e-6);
    EXPECT_NEAR(fit->tx, 26.9375, 1e-9);
    EXPECT_NEAR(fit->ty, 434.969, 1e-3);
    EXPECT_NEAR(fit->src_w * fit->scale, 263.625, 1e-9);
    EXPECT_NEAR(fit->src_h * fit->scale, 373.063, 1e-3);
    EXPECT_EQ(fit->src_w, 595);
    EXPECT_EQ(fit->src_h, 842);
    EXPECT_EQ(fit->turn, Turn::kNone);
}

TEST(FitPage, QuarterTurnSwapsTheSides) {
    for (double rotate : {90.0, 270.0}) {
        auto fit = fit_page(kA4Box, rotate, kTopLeft);
        ASSERT_TRUE(fit);
        EXPECT_EQ(fit->src_w, 842);
        EXPECT_EQ(fit->src_h, 595);
        EXPECT_NEAR(fit->scale, 0.313094, 1e-6);
        EXPECT_NEAR(fit->src_w * fit->scale, 263.625, 1e-9);
        EXPECT_NEAR(fit->src_h * fit->scale, 186.291, 1e-3);
        EXPECT_NEAR(fit->tx, 26.9375, 1e-9);
        EXPECT_NEAR(fit->ty, 528.355, 1e-3);
    }
}

TEST(FitPage, TurnsCountModulo360) {
    EXPECT_EQ(turn_of(90), Turn::kQuarter);
    EXPECT_EQ(turn_of(180), Turn::kHalf);
    EXPECT_EQ(turn_of(270), Turn::kThreeQuarters);
    EXPECT_EQ(turn_of(-90), Turn::kThreeQuarters);
    EXPECT_EQ(turn_of(450), Turn::kQuarter);
    EXPECT_EQ(turn_of(-540), Turn::kHalf);
    for (double rotate : {0.0, 360.0, -720.0, 45.0, 90.5}) EXPECT_EQ(turn_of(rotate), Turn::kNone) << rotate;
    EXPECT_EQ(fit_page(kA4Box, -90, kTopLeft)->src_w, 842);
}

TEST(Boxes, TouchingAndMapping) {
    const Box crop{0, 0, 100, 200};
    EXPECT_TRUE(touches({90, 190, 50, 50}, crop));
    EXPECT_TRUE(touches({100, 0, 10, 10}, crop));  // on the edge
    EXPECT_FALSE(touches({101, 0, 10, 10}, crop));
    EXPECT_FALSE(touches({0, -20, 10, 10}, crop));
    EXPECT_TRUE(is_empty({0, 0, 0, 842}));
    EXPECT_FALSE(is_empty(crop));
    // A quarter turn that also scales by 2: the box's sides swap.
    Box mapped = map_box({0, -2, 2, 0, 10, 20}, crop);
    EXPECT_DOUBLE_EQ(mapped.left, 10);
    EXPECT_DOUBLE_EQ(mapped.bottom, -180);
    EXPECT_DOUBLE_EQ(mapped.width, 400);
    EXPECT_DOUBLE_EQ(mapped.height, 200);
}

TEST(Boxes, TurnOnlyAndCompose) {
    Fit fit = *fit_page({0, 0, 300, 500}, 90, {40, 60, 250, 350});
    Matrix placement = placement_matrix(fit);
    Matrix turn = placement.turn_only();
    EXPECT_NEAR(placement.scale(), fit.scale, 1e-12);
    expect_point(turn.apply({1, 0}), 0, -1);  // clockwise, no offset
    Matrix back = compose(placement, {1, 0, 0, 1, -5, 7});
    Point p = placement.apply({30, 40});
    expect_point(back.apply({30, 40}), p.x - 5, p.y + 7);
}

TEST(FitPage, OriginMovesNothingAndEmptyBoxesDoNotFit) {
    auto plain = fit_page(kA4Box, 0, kTopLeft);
    auto shifted = fit_page({36, 36, kA4W, kA4H}, 0, kTopLeft);
    EXPECT_EQ(shifted->x0, 36);
    EXPECT_EQ(shifted->y0, 36);
    EXPECT_EQ(shifted->scale, plain->scale);
    EXPECT_EQ(shifted->tx, plain->tx);
    EXPECT_EQ(shifted->ty, plain->ty);
    EXPECT_FALSE(fit_page({0, 0, 0, 842}, 0, kTopLeft));
    EXPECT_FALSE(fit_page({0, 0, 595, 0}, 90, kTopLeft));
}

// A page with its crop box at (10, 20), 300 x 500, fitted into a cell; each
// turn maps a point (x, y) of the source as the table says, writing s for
// the scale and (a, b) for (tx, ty).
class Placement : public ::testing::TestWithParam<double> {
protected:
    const Box crop{10, 20, 300, 500};
    const Rect cell{40, 60, 250, 350};
};

TEST_P(Placement, CropBoxLandsExactlyOnTheFittedRectangle) {
    Fit fit = *fit_page(crop, GetParam(), cell);
    Matrix m = placement_matrix(fit);
    double right = fit.tx + fit.src_w * fit.scale;
    double top = fit.ty + fit.src_h * fit.scale;
    double min_x = 1e9, max_x = -1e9, min_y = 1e9, max_y = -1e9;
    for (Point corner : {Point{10, 20}, Point{310, 20}, Point{10, 520}, Point{310, 520}}) {
        Point p = m.apply(corner);
        min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
        min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
    }
    EXPECT_NEAR(min_x, fit.tx, 1e-9);
    EXPECT_NEAR(max_x, right, 1e-9);
    EXPECT_NEAR(min_y, fit.ty, 1e-9);
    EXPECT_NEAR(max_y, top, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(EveryTurn, Placement, ::testing::Values(0.0, 90.0, 180.0, 270.0),
                         [](const auto& info) { return "Rotate" + std::to_string(static_cast<int>(info.param)); });

TEST_F(Placement, PointMappingTable) {
    const Point source{50, 120};  // u = 40, v = 100 from the crop box's corner
    for (double rotate : {0.0, 90.0, 180.0, 270.0}) {
        SCOPED_TRACE(rotate);
        Fit fit = *fit_page(crop, rotate, cell);
        double s = fit.scale, a = fit.tx, b = fit.ty;
        Point p = placement_matrix(fit).apply(source);
        if (rotate == 90) expect_point(p, s * 100 + a, s * (fit.src_h - 40) + b);
        if (rotate == 180) expect_point(p, s * (fit.src_w - 40) + a, s * (fit.src_h - 100) + b);
        if (rotate == 270) expect_point(p, s * (fit.src_w - 100) + a, s * 40 + b);
        if (rotate == 0) expect_point(p, s * 40 + a, s * 100 + b);
    }
}

TEST_F(Placement, TurnsClockwiseAsViewersShowThePage) {
    // The source's top-left corner goes to the top-right for 90, the
    // bottom-right for 180 and the bottom-left for 270.
    const Point top_left{10, 520};
    auto placed = [&](double rotate) {
        Fit fit = *fit_page(crop, rotate, cell);
        return std::make_pair(fit, placement_matrix(fit).apply(top_left));
    };
    auto [f90, p90] = placed(90);
    expect_point(p90, f90.tx + f90.src_w * f90.scale, f90.ty + f90.src_h * f90.scale);
    auto [f180, p180] = placed(180);
    expect_point(p180, f180.tx + f180.src_w * f180.scale, f180.ty);
    auto [f270, p270] = placed(270);
    expect_point(p270, f270.tx, f270.ty);
}

TEST(FrameContent, GridFrameOfTopLeftCell) {
    EXPECT_EQ(frame_content(kTopLeft), "q 1 0 0 RG 2 w 20.00 421.00 277.50 401.00 re S Q");
}

TEST(PlacementContent, DrawsTheFormThroughTheMatrix) {
    EXPECT_EQ(placement_content({0.4430672, 0, -0, 0.5, 26.9375, -1e-9}, "P3"),
              "q 0.44307 0 0 0.5 26.9375 0 cm /P3 Do Q\n");
}

TEST(PlacementNote, FirstPageOfFirstFile) {
    auto fit = fit_page(kA4Box, 0, kTopLeft);
    EXPECT_EQ(placement_note(0, "a.pdf", fit->scale, fit->tx, fit->ty), "    Pg0: a.pdf | Sc=0.44 | Loc=(26.9,435.0)");
}
