#include "file_search.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_error.hpp"
#include "temp_dir.hpp"

using namespace velutil;

namespace {
std::vector<std::string> names_of(const std::vector<FoundFile>& files) {
    std::vector<std::string> names;
    for (const auto& file : files) names.push_back(file.name);
    return names;
}
}  // namespace

TEST(CheckFileOrDir, TellsFolderMissingAndFile) {
    TempDir dir;
    dir.write("a.txt", "x");
    EXPECT_EQ(check_file_or_dir(dir.path()), kFolderExists);
    EXPECT_EQ(check_file_or_dir(dir / "missing"), kPathMissing);
    EXPECT_EQ(check_file_or_dir(dir / "a.txt"), kNotAFolder);
}

TEST(HasExtension, IgnoresCaseAndDot) {
    EXPECT_TRUE(has_extension("a.PNG", {"png"}));
    EXPECT_TRUE(has_extension("a.xlsx", {".XLSX"}));
    EXPECT_FALSE(has_extension("a.xlsx.bak", {"xlsx"}));
    EXPECT_FALSE(has_extension("png", {"png"}));
    EXPECT_EQ(normalize_extension("JPG"), ".jpg");
}

TEST(FindFiles, SortedRegularFilesWithoutHiddenOrLockFiles) {
    TempDir dir;
    for (const char* name : {"b.png", "a.PNG", "C.jpg", ".hidden.png", "~$lock.png", "notes.txt"}) dir.write(name, "x");
    ::mkdir((dir / "folder.png").c_str(), 0755);
    auto files = find_files(dir.path(), {"png", ".jpg"}, false);
    EXPECT_EQ(names_of(files), (std::vector<std::string>{"C.jpg", "a.PNG", "b.png"}));
    EXPECT_EQ(files[0].path, dir / "C.jpg");
}

TEST(FindFiles, RecursiveOnlyOnRequest) {
    TempDir dir;
    dir.write("top.png", "x");
    ::mkdir((dir / "sub").c_str(), 0755);
    ::mkdir((dir / ".cache").c_str(), 0755);
    dir.write("sub/inner.png", "x");
    dir.write(".cache/skip.png", "x");
    EXPECT_EQ(names_of(find_files(dir.path(), {"png"}, false)), (std::vector<std::string>{"top.png"}));
    auto deep = find_files(dir.path(), {"png"}, true);
    ASSERT_EQ(deep.size(), 2u);
    EXPECT_EQ(deep[0].path, dir / "sub/inner.png");
    EXPECT_EQ(deep[0].name, "inner.png");
    EXPECT_EQ(deep[1].name, "top.png");
}

TEST(FindFiles, FollowsFileLinksButNotFolderLinks) {
    TempDir dir;
    dir.write("real.png", "x");
    ::mkdir((dir / "sub").c_str(), 0755);
    dir.write("sub/inner.png", "x");
    ASSERT_EQ(::symlink((dir / "real.png").c_str(), (dir / "link.png").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "sub").c_str(), (dir / "loop").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "gone.png").c_str(), (dir / "dangling.png").c_str()), 0);
    EXPECT_EQ(names_of(find_files(dir.path(), {"png"}, true)),
              (std::vector<std::string>{"link.png", "real.png", "inner.png"}));
}

TEST(FindFiles, MissingFolderThrows) {
    TempDir dir;
    EXPECT_THROW(find_files(dir / "missing", {"png"}, false), FileError);
}
