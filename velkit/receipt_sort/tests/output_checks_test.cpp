#include "output_checks.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "workbook_kind.hpp"

using namespace velkit::receipt_sort;

namespace {

class OutputFolders : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/receipt_sort_test_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }
    std::string root_;
};

}  // namespace

TEST_F(OutputFolders, ExistingOrCreatableFoldersAreFine) {
    EXPECT_EQ(folder_problem(root_), "");
    EXPECT_EQ(folder_problem(root_ + "/results"), "");           // created by the move
    EXPECT_EQ(folder_problem(root_ + "/results/deeper/still"), "");
}

TEST_F(OutputFolders, AFileWhereTheFolderBelongsIsNamed) {
    std::ofstream(root_ + "/results") << "x";
    EXPECT_EQ(folder_problem(root_ + "/results"), "it is not a folder");
    EXPECT_EQ(folder_problem(root_ + "/results/inner"), "'" + root_ + "/results' is not a folder");
}

TEST_F(OutputFolders, ReadOnlyFolderIsRefusedUnlessPrivileged) {
    ASSERT_EQ(::mkdir((root_ + "/locked").c_str(), 0500), 0);
    if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    EXPECT_NE(folder_problem(root_ + "/locked").find("cannot write to it"), std::string::npos);
    EXPECT_NE(folder_problem(root_ + "/locked/results").find("cannot create it in"), std::string::npos);
}

TEST(PathLength, NamesAndPathsWithinTheSystemLimits) {
    EXPECT_EQ(path_length_problem("/tmp/" + std::string(255, 'a')), "");
    EXPECT_EQ(path_length_problem("/tmp/" + std::string(256, 'a')), "the file name is longer than 255 bytes");
    std::string deep;
    while (deep.size() < 4096) deep += "/" + std::string(200, 'd');
    EXPECT_EQ(path_length_problem(deep), "the path is longer than 4095 bytes");
}

TEST(WorkbookKind, CompoundFilesAreToldApart) {
    const std::string magic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    const std::string encryption_info("E\0n\0c\0r\0y\0p\0t\0i\0o\0n\0I\0n\0f\0o\0", 28);
    EXPECT_EQ(workbook_kind(magic + std::string(600, '\0') + encryption_info), WorkbookKind::kPasswordProtected);
    EXPECT_EQ(workbook_kind(magic + std::string(600, '\0') + "EncryptionInfo"), WorkbookKind::kBinaryCompound);
    EXPECT_EQ(workbook_kind("PK\x03\x04" + encryption_info), WorkbookKind::kOther);
    EXPECT_EQ(workbook_kind(""), WorkbookKind::kOther);
    EXPECT_EQ(workbook_kind_reason(WorkbookKind::kOther), "");
    EXPECT_NE(workbook_kind_reason(WorkbookKind::kPasswordProtected).find("password-protected"), std::string::npos);
}
