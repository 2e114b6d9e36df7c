#include "destination.hpp"

#include <gtest/gtest.h>

using namespace velkit::sheet_tile;

namespace {

// A 300 x 500 page with its box at (10, 20), fitted into a cell.
const Box kBox{10, 20, 300, 500};
const Rect kCell{40, 60, 250, 350};

Matrix placement(double rotate) { return placement_matrix(*fit_page(kBox, rotate, kCell)); }

void expect_xyz(const std::optional<ViewSpot>& spot, Point expected) {
    ASSERT_TRUE(spot);
    EXPECT_EQ(spot->kind, "XYZ");
    ASSERT_EQ(spot->operands.size(), 3u);
    EXPECT_NEAR(*spot->operands[0], expected.x, 1e-9);
    EXPECT_NEAR(*spot->operands[1], expected.y, 1e-9);
    EXPECT_FALSE(spot->operands[2]);  // the zoom is the viewer's
}

}  // namespace

TEST(SpotOnSheet, PointKindsMapTheirSpot) {
    Matrix m = placement(0);
    expect_xyz(spot_on_sheet({"XYZ", {50.0, 400.0, 2.0}}, kBox, m), m.apply({50, 400}));
    expect_xyz(spot_on_sheet({"XYZ", {std::nullopt, std::nullopt, std::nullopt}}, kBox, m), m.apply({10, 520}));
    expect_xyz(spot_on_sheet({"FitH", {300.0}}, kBox, m), m.apply({10, 300}));
    expect_xyz(spot_on_sheet({"FitBV", {60.0}}, kBox, m), m.apply({60, 520}));
}

TEST(SpotOnSheet, WholePageGoesToTheShownTopLeftCorner) {
    for (double rotate : {0.0, 90.0, 180.0, 270.0}) {
        SCOPED_TRACE(rotate);
        Fit fit = *fit_page(kBox, rotate, kCell);
        expect_xyz(spot_on_sheet({"Fit", {}}, kBox, placement(rotate)),
                   {fit.tx, fit.ty + fit.src_h * fit.scale});
    }
}

TEST(SpotOnSheet, RectangleStaysARectangleWhenTurned) {
    Matrix m = placement(90);
    auto spot = spot_on_sheet({"FitR", {10.0, 20.0, 110.0, 70.0}}, kBox, m);
    ASSERT_TRUE(spot);
    EXPECT_EQ(spot->kind, "FitR");
    Box expected = map_box(m, {10, 20, 100, 50});
    EXPECT_NEAR(*spot->operands[0], expected.left, 1e-9);
    EXPECT_NEAR(*spot->operands[1], expected.bottom, 1e-9);
    EXPECT_NEAR(*spot->operands[2], expected.left + expected.width, 1e-9);
    EXPECT_NEAR(*spot->operands[3], expected.bottom + expected.height, 1e-9);
    EXPECT_LT(*spot->operands[0], *spot->operands[2]);
}

TEST(SpotOnSheet, UnknownKindHasNoSpot) { EXPECT_FALSE(spot_on_sheet({"Nowhere", {}}, kBox, placement(0))); }
