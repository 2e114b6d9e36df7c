// The layout choices: sheet sizes, gutters, fill orders, turning a page to
// fit its cell, the order of the files and the cells each page takes.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "geometry.hpp"
#include "sheet_order.hpp"

using namespace velkit::sheet_tile;

namespace {

// (column, row) of a cell, counted from the top left.
std::pair<long, long> grid_spot(const Grid& grid, const Rect& cell) {
    CellSize size = cell_size(grid);
    double col = (cell.x - grid.margin) / (size.width + grid.gutter);
    double row = (grid.page_height - grid.margin - cell.y - cell.height) / (size.height + grid.gutter);
    return {std::lround(col), std::lround(row)};
}

bool inside(const Box& box, const Rect& cell) {
    const double eps = 1e-9;
    return box.left >= cell.x - eps && box.bottom >= cell.y - eps &&
           box.left + box.width <= cell.x + cell.width + eps && box.bottom + box.height <= cell.y + cell.height + eps;
}

}  // namespace

TEST(Gutter, SeparatesNeighboursAndKeepsTheMargin) {
    const Grid grid{595, 842, 20, 2, 2, 10};
    CellSize cell = cell_size(grid);
    EXPECT_DOUBLE_EQ(cell.width, 272.5);
    EXPECT_DOUBLE_EQ(cell.height, 396);
    Rect top_left = cell_rect(grid, 0);
    Rect bottom_right = cell_rect(grid, 3);
    EXPECT_DOUBLE_EQ(top_left.y - (bottom_right.y + bottom_right.height), 10);
    EXPECT_DOUBLE_EQ(bottom_right.x + bottom_right.width, 575);
    EXPECT_DOUBLE_EQ(bottom_right.y, 20);

    EXPECT_TRUE(has_cell_area({595, 842, 20, 1, 1, 10000}));  // one cell has no neighbour
    EXPECT_TRUE(has_cell_area({595, 842, 20, 2, 1, 554}));
    EXPECT_FALSE(has_cell_area({595, 842, 20, 2, 1, 555}));
    EXPECT_FALSE(has_cell_area({595, 842, 20, 1, 3, 401}));
}

struct OrderCase {
    const char* name;
    FillOrder order;
    std::vector<std::pair<long, long>> first_cells;  // (column, row) of slots 0, 1, 2, ...
};

class FillOrders : public ::testing::TestWithParam<OrderCase> {};

TEST_P(FillOrders, FirstCellsAndEveryCellOnce) {
    const OrderCase& c = GetParam();
    ASSERT_EQ(fill_order_named(c.name), c.order);
    for (double gutter : {0.0, 12.5}) {
        const Grid grid{842, 595, 20, 3, 2, gutter, c.order};
        for (size_t slot = 0; slot < c.first_cells.size(); ++slot) {
            EXPECT_EQ(grid_spot(grid, cell_rect(grid, static_cast<long>(slot))), c.first_cells[slot])
                << "slot " << slot << ", gutter " << gutter;
        }
        std::set<std::pair<long, long>> seen;
        for (long slot = 0; slot < 6; ++slot) seen.insert(grid_spot(grid, cell_rect(grid, slot)));
        EXPECT_EQ(seen.size(), 6u);
        // The next sheet starts where this one did.
        EXPECT_EQ(grid_spot(grid, cell_rect(grid, 6)), c.first_cells[0]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ThreeByTwo, FillOrders,
    ::testing::Values(OrderCase{"rows", FillOrder::kRows, {{0, 0}, {1, 0}, {2, 0}, {0, 1}}},
                      OrderCase{"columns", FillOrder::kColumns, {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}}},
                      OrderCase{"rows_rtl", FillOrder::kRowsRightToLeft, {{2, 0}, {1, 0}, {0, 0}, {2, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RotateToFit, TurnsOnlyWhenThePageGrows) {
    const Rect portrait_cell{20, 421, 277.5, 401};
    const Box landscape_page{0, 0, 842, 595};
    const Box portrait_page{0, 0, 595, 842};

    auto upright = fit_page(landscape_page, 0, portrait_cell, false);
    auto turned = fit_page(landscape_page, 0, portrait_cell, true);
    ASSERT_TRUE(upright && turned);
    EXPECT_EQ(upright->extra, Turn::kNone);
    EXPECT_EQ(turned->extra, Turn::kThreeQuarters);
    EXPECT_EQ(turned->turn, Turn::kThreeQuarters);
    EXPECT_GT(turned->scale, upright->scale * 1.3);
    EXPECT_DOUBLE_EQ(turned->src_w, 595);
    EXPECT_DOUBLE_EQ(turned->src_h, 842);

    // Already fitting, square, or landscape only by its entry.
    EXPECT_EQ(fit_page(portrait_page, 0, portrait_cell, true)->extra, Turn::kNone);
    EXPECT_EQ(fit_page({0, 0, 500, 500}, 0, portrait_cell, true)->extra, Turn::kNone);
    EXPECT_EQ(fit_page(landscape_page, 90, portrait_cell, true)->extra, Turn::kNone);
    // A portrait page shown landscape by /Rotate 90 is turned back upright.
    auto back = fit_page(portrait_page, 90, portrait_cell, true);
    EXPECT_EQ(back->extra, Turn::kThreeQuarters);
    EXPECT_EQ(back->turn, Turn::kNone);
    EXPECT_EQ(add_turns(Turn::kHalf, Turn::kThreeQuarters), Turn::kQuarter);
}

class Seam : public ::testing::TestWithParam<std::tuple<FillOrder, double, bool>> {};

// Whatever the order, gutter, turn and crop box, the page lands inside its
// cell, centred.
TEST_P(Seam, PageLandsCentredInItsCell) {
    auto [order, rotate, to_fit] = GetParam();
    const SheetLayout layout{{612, 1008, 30, 3, 4, 8, order}, to_fit};
    for (const Box& crop : {Box{0, 0, 595, 842}, Box{36, 50, 800, 300}, Box{-10, -20, 100, 100}}) {
        for (long slot = 0; slot < 12; ++slot) {
            PagePlacement placed = place_page(layout, slot, crop, rotate);
            ASSERT_TRUE(placed.fit);
            Box drawn = map_box(placed.matrix, crop);
            EXPECT_TRUE(inside(drawn, placed.cell)) << "slot " << slot;
            EXPECT_NEAR(drawn.left + drawn.width / 2, placed.cell.x + placed.cell.width / 2, 1e-9);
            EXPECT_NEAR(drawn.bottom + drawn.height / 2, placed.cell.y + placed.cell.height / 2, 1e-9);
            EXPECT_NEAR(placed.matrix.scale(), placed.fit->scale, 1e-12);
        }
    }
    PagePlacement empty = place_page(layout, 5, {10, 10, 0, 300}, rotate);
    EXPECT_FALSE(empty.fit);
    EXPECT_EQ(grid_spot(layout.grid, empty.cell), grid_spot(layout.grid, cell_rect(layout.grid, 5)));
}

INSTANTIATE_TEST_SUITE_P(Layouts, Seam,
                         ::testing::Combine(::testing::Values(FillOrder::kRows, FillOrder::kColumns,
                                                              FillOrder::kRowsRightToLeft),
                                            ::testing::Values(0.0, 90.0, 180.0, 270.0), ::testing::Bool()));

TEST(MergeOrder, ByNameOrNaturally) {
    const std::vector<std::string> names{"10.pdf", "b.pdf", "2.pdf", "B.pdf", "a.pdf", "2.pdf"};
    auto names_in = [&](NameOrder order) {
        std::vector<std::string> out;
        for (size_t position : merge_order(names, order)) out.push_back(names[position]);
        return out;
    };
    EXPECT_EQ(names_in(NameOrder::kName),
              (std::vector<std::string>{"10.pdf", "2.pdf", "2.pdf", "B.pdf", "a.pdf", "b.pdf"}));
    EXPECT_EQ(names_in(NameOrder::kNatural),
              (std::vector<std::string>{"2.pdf", "2.pdf", "10.pdf", "a.pdf", "B.pdf", "b.pdf"}));
    // Equal names keep the order they came in.
    std::vector<size_t> natural = merge_order(names, NameOrder::kNatural);
    EXPECT_EQ(natural[0], 2u);
    EXPECT_EQ(natural[1], 5u);
    EXPECT_TRUE(merge_order({}, NameOrder::kNatural).empty());
}

namespace {

// The (sheet, slot) of every page of files with these page counts; a
// negative count is a file that fails before its first page is placed.
std::vector<std::pair<long, long>> spots(const std::vector<int>& files, long per_sheet, bool per_file) {
    CellCursor cursor(per_sheet, per_file);
    std::vector<std::pair<long, long>> out;
    long sheet = -1;
    for (int pages : files) {
        cursor.begin_file();
        for (int page = 0; page < pages; ++page) {
            CellCursor::Spot spot = cursor.next();
            if (spot.new_sheet) ++sheet;
            cursor.take();
            out.emplace_back(sheet, spot.slot);
        }
    }
    return out;
}

using Spots = std::vector<std::pair<long, long>>;

}  // namespace

TEST(CellCursor, FilesFollowInTheNextFreeCell) {
    EXPECT_EQ(spots({3, 2}, 4, false), (Spots{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}}));
    EXPECT_EQ(spots({1, 1, 1}, 1, false), (Spots{{0, 0}, {1, 0}, {2, 0}}));
}

TEST(CellCursor, SheetPerFileStartsEachFileOnAFreshSheet) {
    EXPECT_EQ(spots({3, 2}, 4, true), (Spots{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}}));
    // A file that fills its sheet exactly leaves no blank sheet behind, nor
    // does a file that fails before its first page.
    EXPECT_EQ(spots({4, 1}, 4, true), (Spots{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}}));
    EXPECT_EQ(spots({0, 1, -1, 0, 2}, 4, true), (Spots{{0, 0}, {1, 0}, {1, 1}}));
    // A file longer than a sheet goes on to the next sheet as usual.
    EXPECT_EQ(spots({5}, 2, true), (Spots{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}}));
}
