#include "safe_files.hpp"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "file_error.hpp"
#include "temp_dir.hpp"

using namespace velutil;

namespace {
bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}
int entry_count(const std::string& folder) {
    int count = 0;
    DIR* dir = ::opendir(folder.c_str());
    while (dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.' || entry->d_name[1] > '.';
    ::closedir(dir);
    return count;
}
// A folder on another file system than the temporary folders.
const std::string other_root = "/dev/shm";
bool on_other_file_system(const TempDir& here) {
    struct stat a {}, b {};
    return ::stat(here.path().c_str(), &a) == 0 && ::stat(other_root.c_str(), &b) == 0 && a.st_dev != b.st_dev;
}
}  // namespace

TEST(WriteFileAtomically, ReplacesContentAndLeavesNoTemporary) {
    TempDir dir;
    dir.write("out.json", "old");
    ::chmod((dir / "out.json").c_str(), 0600);
    write_file_atomically(dir / "out.json", std::string("new content"));
    EXPECT_EQ(dir.read("out.json"), "new content");
    struct stat info {};
    ::stat((dir / "out.json").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(entry_count(dir.path()), 1);
}

TEST(WriteFileAtomically, WithoutFlushStillReplacesWhole) {
    TempDir dir;
    dir.write("report.pdf", "old");
    const std::string data(1 << 20, 'x');
    write_file_atomically(dir / "report.pdf", data.data(), data.size(), Durability::kLeaveToSystem);
    EXPECT_EQ(dir.read("report.pdf"), data);
    EXPECT_EQ(entry_count(dir.path()), 1);
}

TEST(WriteFileAtomically, FailureKeepsEarlierFile) {
    TempDir dir;
    dir.write("keep.txt", "old");
    EXPECT_THROW(write_file_atomically(dir / "missing/keep.txt", std::string("x")), FileError);
    EXPECT_EQ(dir.read("keep.txt"), "old");
}

TEST(FirstFreeName, CountsFromTwo) {
    TempDir dir;
    EXPECT_EQ(first_free_name(dir / "a.xlsx"), dir / "a.xlsx");
    dir.write("a.xlsx", "1");
    dir.write("a_2.xlsx", "2");
    EXPECT_EQ(first_free_name(dir / "a.xlsx"), dir / "a_3.xlsx");
}

TEST(MoveWithBackup, MovesAndKeepsBackupWithoutOverwriting) {
    TempDir dir;
    dir.write("in.xlsx", "receipt");
    make_dirs(dir / "backup");
    dir.write("backup/in.xlsx", "older backup");
    dir.write("dest.xlsx", "replaced");
    auto outcome = move_with_backup(dir / "in.xlsx", dir / "out/deep/dest.xlsx", dir / "backup/in.xlsx");
    EXPECT_FALSE(exists(dir / "in.xlsx"));
    EXPECT_EQ(outcome.dest, dir / "out/deep/dest.xlsx");
    EXPECT_EQ(dir.read("out/deep/dest.xlsx"), "receipt");
    EXPECT_EQ(outcome.backup, dir / "backup/in_2.xlsx");
    EXPECT_EQ(dir.read("backup/in_2.xlsx"), "receipt");
    EXPECT_EQ(dir.read("backup/in.xlsx"), "older backup");
}

TEST(MoveWithBackup, ReplacesExistingDestination) {
    TempDir dir;
    dir.write("in.txt", "new");
    dir.write("dest.txt", "old");
    move_with_backup(dir / "in.txt", dir / "dest.txt", dir / "bak/in.txt");
    EXPECT_EQ(dir.read("dest.txt"), "new");
}

TEST(MoveWithBackup, MissingSourceThrowsAndCreatesNoBackup) {
    TempDir dir;
    EXPECT_THROW(move_with_backup(dir / "none.txt", dir / "out/x.txt", dir / "bak/none.txt"), FileError);
    EXPECT_FALSE(exists(dir / "bak/none.txt"));
}

TEST(MoveWithBackup, UnwritableDestinationKeepsSource) {
    TempDir dir;
    dir.write("in.txt", "data");
    dir.write("blocker", "a file where a folder should be");
    EXPECT_THROW(move_with_backup(dir / "in.txt", dir / "blocker/x.txt", dir / "bak/in.txt"), FileError);
    EXPECT_EQ(dir.read("in.txt"), "data");
}

TEST(ReadFile, MissingFileThrowsWithPath) {
    TempDir dir;
    try {
        read_file(dir / "nothing");
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(error.path(), dir / "nothing");
        EXPECT_EQ(error.error_number(), ENOENT);
    }
}

TEST(MoveWithBackup, AcrossFileSystemsCopiesThenRemovesSource) {
    TempDir here;
    if (!on_other_file_system(here)) GTEST_SKIP() << "no second file system at " << other_root;
    std::string src = other_root + "/velutil-move-" + std::to_string(::getpid()) + ".txt";
    std::ofstream(src) << "across";
    auto outcome = move_with_backup(src, here / "dest/x.txt", here / "bak/x.txt");
    EXPECT_FALSE(exists(src));
    EXPECT_EQ(here.read("dest/x.txt"), "across");
    EXPECT_EQ(here.read("bak/x.txt"), "across");
    EXPECT_EQ(entry_count(here / "dest"), 1);
    EXPECT_EQ(outcome.backup, here / "bak/x.txt");
}

TEST(FirstFreeName, CountsNamesSpokenForAsTaken) {
    TempDir dir;
    dir.write("a.xlsx", "1");
    auto spoken_for = [&](const std::string& path) { return exists(path) || path == dir / "a_2.xlsx"; };
    EXPECT_EQ(first_free_name(dir / "a.xlsx", spoken_for), dir / "a_3.xlsx");
    EXPECT_EQ(first_free_name(dir / "b.xlsx", spoken_for), dir / "b.xlsx");
}

TEST(RenameIfFree, NeverReplacesAnExistingFile) {
    TempDir dir;
    dir.write("in.txt", "moving");
    dir.write("taken.txt", "already here");
    EXPECT_FALSE(rename_if_free(dir / "in.txt", dir / "taken.txt"));
    EXPECT_EQ(dir.read("in.txt"), "moving");
    EXPECT_EQ(dir.read("taken.txt"), "already here");
    EXPECT_TRUE(rename_if_free(dir / "in.txt", dir / "free.txt"));
    EXPECT_FALSE(exists(dir / "in.txt"));
    EXPECT_EQ(dir.read("free.txt"), "moving");
}

TEST(MoveWithBackup, FirstFreeNameKeepsEveryFileAtTheDestination) {
    TempDir dir;
    make_dirs(dir / "out");
    dir.write("out/r.xlsx", "first");
    dir.write("out/r_2.xlsx", "second");
    dir.write("in.xlsx", "third");
    auto outcome =
        move_with_backup(dir / "in.xlsx", dir / "out/r.xlsx", dir / "bak/in.xlsx", AtDestination::kUseFirstFreeName);
    EXPECT_EQ(outcome.dest, dir / "out/r_3.xlsx");
    EXPECT_EQ(dir.read("out/r.xlsx"), "first");
    EXPECT_EQ(dir.read("out/r_2.xlsx"), "second");
    EXPECT_EQ(dir.read("out/r_3.xlsx"), "third");
    EXPECT_EQ(dir.read("bak/in.xlsx"), "third");
    EXPECT_FALSE(exists(dir / "in.xlsx"));
}

TEST(MoveWithBackup, FirstFreeNameAcrossFileSystems) {
    TempDir here;
    if (!on_other_file_system(here)) GTEST_SKIP() << "no second file system at " << other_root;
    std::string src = other_root + "/velutil-free-" + std::to_string(::getpid()) + ".txt";
    std::ofstream(src) << "across";
    make_dirs(here / "dest");
    here.write("dest/x.txt", "kept");
    auto outcome = move_with_backup(src, here / "dest/x.txt", here / "bak/x.txt", AtDestination::kUseFirstFreeName);
    EXPECT_FALSE(exists(src));
    EXPECT_EQ(outcome.dest, here / "dest/x_2.txt");
    EXPECT_EQ(here.read("dest/x.txt"), "kept");
    EXPECT_EQ(here.read("dest/x_2.txt"), "across");
    EXPECT_EQ(entry_count(here / "dest"), 2);
}

namespace {
struct timespec now_plus(int seconds) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    now.tv_sec += seconds;
    return now;
}
}  // namespace

TEST(StaleTemporaries, OnlyOurNamesChangedBeforeTheLimitGo) {
    TempDir dir;
    const std::vector<std::pair<std::string, bool>> names = {
        {".in.xlsx.tmp-Ab3xY9", true},   // left by a killed copy
        {".report.pdf.tmp-000000", true},
        {"in.xlsx.tmp-Ab3xY9", false},   // not hidden: a user's file
        {".in.xlsx.tmp-Ab3x", false},    // too short a suffix
        {".in.xlsx.tmp-Ab3x!9", false},  // not what mkostemp writes
        {".tmp-Ab3xY9", false},          // no name before the marker
        {"notes.txt", false},
    };
    for (const auto& [name, _] : names) dir.write(name, "x");
    ::mkdir((dir / ".folder.tmp-ABCDEF").c_str(), 0700);

    EXPECT_EQ(remove_stale_temporaries(dir.path(), now_plus(-60)), 0) << "nothing is older than a minute";
    EXPECT_EQ(remove_stale_temporaries(dir.path(), now_plus(60)), 2);
    for (const auto& [name, removed] : names) EXPECT_EQ(exists(dir / name), !removed) << name;
    EXPECT_TRUE(exists(dir / ".folder.tmp-ABCDEF"));
}

TEST(StaleTemporaries, ThisRunsOwnAreKeptByLaterWrites) {
    TempDir dir;
    dir.write(".other.json.tmp-Q1w2E3", "being written by a run that started after this one");
    write_file_atomically(dir / "out.json", std::string("{}"));
    move_with_backup(dir / "out.json", dir / "moved.json", dir / "bak/out.json");
    EXPECT_TRUE(exists(dir / ".other.json.tmp-Q1w2E3"));
    EXPECT_EQ(entry_count(dir.path()), 3);
}
