#include "velkit/frame/key_suggestion.hpp"

#include <gtest/gtest.h>

using velkit::frame::closest_key;
using velkit::frame::key_distance;

TEST(KeyDistance, CountsEachKindOfEditOnce) {
    EXPECT_EQ(key_distance("cols_per_row", "cols_per_row"), 0u);
    EXPECT_EQ(key_distance("col_per_row", "cols_per_row"), 1u);     // insertion
    EXPECT_EQ(key_distance("bottom_margine", "bottom_margin"), 1u);  // deletion
    EXPECT_EQ(key_distance("landscapf", "landscape"), 1u);           // replacement
    EXPECT_EQ(key_distance("dyr_run", "dry_run"), 1u);               // neighbours swapped
    EXPECT_EQ(key_distance("Dry_Run", "dry_run"), 0u);               // ASCII case
    EXPECT_EQ(key_distance("", "abc"), 3u);
    EXPECT_EQ(key_distance("abc", ""), 3u);
}

TEST(ClosestKey, PicksTheNearestKnownKey) {
    std::set<std::string> group{"name", "pattern", "experiments_per_page", "cols_per_row"};
    EXPECT_EQ(closest_key("col_per_row", group), "cols_per_row");
    EXPECT_EQ(closest_key("experiment_per_page", group), "experiments_per_page");
    EXPECT_EQ(closest_key("patern", group), "pattern");
    EXPECT_EQ(closest_key("anything", {}), "");
}
