// Each system call under the durable writes and moves made to fail in turn:
// the file being replaced or moved stays whole, and no temporary is left.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "file_error.hpp"
#include "safe_files.hpp"
#include "temp_dir.hpp"

using namespace velutil;

namespace {

enum class Call { kWrite, kFsync, kRename, kRenameNoReplace, kLink };
constexpr int kCalls = 5;

// The `nth` call (1 for the first) fails with `error`; with `from_then_on`
// every later call fails too.
struct Fault {
    Call call;
    int error;
    int nth = 1;
    bool from_then_on = false;
};

FileSystemCalls real_calls;
int calls_made[kCalls];
const Fault* armed[kCalls];

bool fails(Call call) {
    int index = static_cast<int>(call);
    const Fault* fault = armed[index];
    if (fault == nullptr) return false;
    int made = ++calls_made[index];
    if (made < fault->nth || (made > fault->nth && !fault->from_then_on)) return false;
    errno = fault->error;
    return true;
}

ssize_t failing_write(int fd, const void* data, size_t size) {
    return fails(Call::kWrite) ? -1 : real_calls.write(fd, data, size);
}
int failing_fsync(int fd) { return fails(Call::kFsync) ? -1 : real_calls.fsync(fd); }
int failing_rename(const char* from, const char* to) {
    return fails(Call::kRename) ? -1 : real_calls.rename(from, to);
}
int failing_rename_noreplace(const char* from, const char* to) {
    return fails(Call::kRenameNoReplace) ? -1 : real_calls.rename_noreplace(from, to);
}
int failing_link(const char* from, const char* to) { return fails(Call::kLink) ? -1 : real_calls.link(from, to); }

// Arms the faults for the lifetime of the object.
class Faults {
public:
    explicit Faults(const std::vector<Fault>& faults) : faults_(faults) {
        real_calls = file_system_calls();
        for (int i = 0; i < kCalls; ++i) calls_made[i] = 0, armed[i] = nullptr;
        for (const Fault& fault : faults_) armed[static_cast<int>(fault.call)] = &fault;
        file_system_calls() = {failing_write, failing_fsync, failing_rename, failing_rename_noreplace, failing_link};
    }
    ~Faults() { file_system_calls() = real_calls; }
    Faults(const Faults&) = delete;
    Faults& operator=(const Faults&) = delete;

private:
    std::vector<Fault> faults_;
};

std::vector<std::string> temporaries_in(const std::string& folder) {
    std::vector<std::string> found;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return found;
    while (dirent* entry = ::readdir(dir)) {
        if (is_temporary_name(entry->d_name)) found.push_back(entry->d_name);
    }
    ::closedir(dir);
    return found;
}

struct Case {
    const char* name;
    std::vector<Fault> faults;
};

std::string case_name(const testing::TestParamInfo<Case>& info) { return info.param.name; }

// Replacing a file that holds "old": every failure leaves it as it was.
class ReplaceFails : public testing::TestWithParam<Case> {};

TEST_P(ReplaceFails, EarlierFileStaysAndNoTemporaryIsLeft) {
    TempDir dir;
    dir.write("result.json", "old");
    {
        Faults faults(GetParam().faults);
        EXPECT_THROW(write_file_atomically(dir / "result.json", std::string(100000, 'n')), FileError);
    }
    EXPECT_EQ(dir.read("result.json"), "old");
    EXPECT_TRUE(temporaries_in(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    SafeFiles, ReplaceFails,
    testing::Values(Case{"DiskFull", {{Call::kWrite, ENOSPC}}}, Case{"FlushFails", {{Call::kFsync, EIO}}},
                    Case{"RenameRefused", {{Call::kRename, EACCES}}}),
    case_name);

// Moving "receipt" to a destination with a backup copy: every failure
// leaves the source whole, and no temporary anywhere.
class MoveFails : public testing::TestWithParam<std::tuple<Case, AtDestination>> {};

TEST_P(MoveFails, SourceStaysWholeAndNoTemporaryIsLeft) {
    const auto& [c, at_dest] = GetParam();
    TempDir dir;
    dir.write("in.xlsx", "receipt");
    make_dirs(dir / "out");
    make_dirs(dir / "bak");  // so that the first flush is the copy's own
    dir.write("out/r.xlsx", "already there");
    {
        Faults faults(c.faults);
        EXPECT_THROW(move_with_backup(dir / "in.xlsx", dir / "out/r.xlsx", dir / "bak/in.xlsx", at_dest), FileError);
    }
    EXPECT_EQ(dir.read("in.xlsx"), "receipt");
    EXPECT_EQ(dir.read("out/r.xlsx"), "already there");
    for (const char* folder : {"", "out", "bak"}) EXPECT_TRUE(temporaries_in(dir / folder).empty()) << folder;
}

// Faults of a move within one file system and, through EXDEV, of the copy
// that takes its place across file systems.
const Case kMoveCases[] = {
    {"BackupCopyDiskFull", {{Call::kWrite, ENOSPC}}},
    {"BackupLinkFails", {{Call::kLink, EIO}}},
    {"OtherFileSystemCopyDiskFull", {{Call::kRename, EXDEV, 1, true}, {Call::kRenameNoReplace, EXDEV, 1, true},
                                     {Call::kWrite, ENOSPC, 2}}},
    {"OtherFileSystemFlushFails", {{Call::kRename, EXDEV, 1, true}, {Call::kRenameNoReplace, EXDEV, 1, true},
                                   {Call::kFsync, EIO}}},
    {"OtherFileSystemPlacingFails", {{Call::kRename, EXDEV, 1, true}, {Call::kRenameNoReplace, EXDEV, 1, true},
                                     {Call::kLink, EIO, 2}}},
};

std::string move_name(const testing::TestParamInfo<std::tuple<Case, AtDestination>>& info) {
    return std::string(std::get<0>(info.param).name) +
           (std::get<1>(info.param) == AtDestination::kReplace ? "Replacing" : "BesideExisting");
}

INSTANTIATE_TEST_SUITE_P(SafeFiles, MoveFails,
                         testing::Combine(testing::ValuesIn(kMoveCases),
                                          testing::Values(AtDestination::kReplace, AtDestination::kUseFirstFreeName)),
                         move_name);

TEST(SafeFilesFaults, RenameRefusedWithinOneFileSystemKeepsSource) {
    TempDir dir;
    dir.write("in.xlsx", "receipt");
    {
        Faults faults({{Call::kRename, EACCES}, {Call::kRenameNoReplace, EACCES}});
        EXPECT_THROW(move_with_backup(dir / "in.xlsx", dir / "out/r.xlsx", dir / "bak/in.xlsx"), FileError);
        EXPECT_THROW(move_with_backup(dir / "in.xlsx", dir / "out/r.xlsx", dir / "bak/in.xlsx",
                                      AtDestination::kUseFirstFreeName),
                     FileError);
    }
    EXPECT_EQ(dir.read("in.xlsx"), "receipt");
    EXPECT_EQ(dir.read("bak/in.xlsx"), "receipt");  // a backup copy is made before the move
    for (const char* folder : {"", "out", "bak"}) EXPECT_TRUE(temporaries_in(dir / folder).empty()) << folder;
}

TEST(SafeFilesFaults, TableIsRestored) {
    TempDir dir;
    { Faults faults({{Call::kWrite, ENOSPC, 1, true}}); }
    write_file_atomically(dir / "after.txt", std::string("fine"));
    EXPECT_EQ(dir.read("after.txt"), "fine");
}

}  // namespace
