#include "paths.hpp"

#include <gtest/gtest.h>

using namespace velutil;

TEST(JoinPath, JoinsWithOneSeparator) {
    EXPECT_EQ(join_path("a", "b.txt"), "a/b.txt");
    EXPECT_EQ(join_path("a/", "b.txt"), "a/b.txt");
    EXPECT_EQ(join_path("", "b.txt"), "b.txt");
}

TEST(JoinPath, AbsoluteSecondPartStandsAlone) { EXPECT_EQ(join_path("folder", "/tmp/out.pdf"), "/tmp/out.pdf"); }

TEST(BaseAndDirName, SplitAtLastSeparator) {
    EXPECT_EQ(base_name("a/b/c.png"), "c.png");
    EXPECT_EQ(dir_name("a/b/c.png"), "a/b");
    EXPECT_EQ(base_name("c.png"), "c.png");
    EXPECT_EQ(dir_name("c.png"), "");
    EXPECT_EQ(dir_name("/c.png"), "/");
}

TEST(SplitExtension, KeepsDotAndIgnoresLeadingDot) {
    EXPECT_EQ(split_extension("scan.tar.gz").stem, "scan.tar");
    EXPECT_EQ(split_extension("scan.tar.gz").extension, ".gz");
    EXPECT_EQ(split_extension(".bashrc").stem, ".bashrc");
    EXPECT_EQ(split_extension(".bashrc").extension, "");
    EXPECT_EQ(split_extension("README").extension, "");
}

