#include "velkit/frame/run_tally.hpp"

#include <gtest/gtest.h>

using velkit::frame::name_list;
using velkit::frame::RunTally;
using velkit::frame::summary_text;

TEST(RunTally, StatusFollowsTheOneRule) {
    RunTally nothing_to_do;
    EXPECT_EQ(nothing_to_do.exit_status(), 0);

    RunTally partial;
    partial.done(3);
    partial.failed("a.pdf");
    EXPECT_EQ(partial.exit_status(), 0);

    RunTally all_failed;
    all_failed.failed("a.pdf");
    all_failed.failed("b.pdf");
    EXPECT_EQ(all_failed.exit_status(), 1);

    RunTally only_skipped;
    only_skipped.skipped(2);
    EXPECT_EQ(only_skipped.exit_status(), 0);

    RunTally skipped_and_failed;
    skipped_and_failed.skipped(397);
    skipped_and_failed.failed("a.xlsx");
    EXPECT_EQ(skipped_and_failed.exit_status(), 0);

    RunTally output_lost;
    output_lost.done(5);
    output_lost.run_failed();
    EXPECT_EQ(output_lost.exit_status(), 1);
}

TEST(RunTally, NameListShowsFiveThenCountsTheRest) {
    EXPECT_EQ(name_list({}), "");
    EXPECT_EQ(name_list({"a"}), "a");
    EXPECT_EQ(name_list({"a", "b", "c", "d", "e"}), "a, b, c, d, e");
    EXPECT_EQ(name_list({"a", "b", "c", "d", "e", "f", "g"}), "a, b, c, d, e and 2 more");
}

TEST(RunTally, SummaryAddsSkippedAndFailedParts) {
    RunTally tally;
    tally.done(12);
    EXPECT_EQ(summary_text(tally, "Moved 12 workbooks", "no name or amount"), "Moved 12 workbooks");
    tally.skipped(3);
    tally.failed("x.xlsx");
    EXPECT_EQ(summary_text(tally, "Moved 12 workbooks", "no name or amount"),
              "Moved 12 workbooks; skipped 3 (no name or amount); 1 failed: x.xlsx");
    EXPECT_EQ(summary_text(tally, "Moved 12 workbooks"), "Moved 12 workbooks; 1 failed: x.xlsx");
}
