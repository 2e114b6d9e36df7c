#include "folder_lock.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "file_error.hpp"
#include "safe_files.hpp"
#include "temp_dir.hpp"

using velutil::FolderLock;
using velutil::folder_is_free_for_us;

namespace {

// A child process that takes the lock, says so through a pipe and waits to
// be killed.
class OtherHolder {
public:
    explicit OtherHolder(const std::string& folder) {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            FolderLock lock(folder);
            char held = lock.held() ? '1' : '0';
            (void)!::write(ends[1], &held, 1);
            for (;;) ::pause();
        }
        ::close(ends[1]);
        char held = 0;
        EXPECT_EQ(::read(ends[0], &held, 1), 1);
        EXPECT_EQ(held, '1');
        ::close(ends[0]);
    }
    void kill_it() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    ~OtherHolder() { kill_it(); }

private:
    pid_t pid_ = -1;
};

}  // namespace

TEST(FolderLock, AnotherProcessIsKeptOutUntilItsHolderDies) {
    TempDir dir;
    OtherHolder other(dir.path());
    EXPECT_FALSE(FolderLock(dir.path()).held());
    EXPECT_FALSE(folder_is_free_for_us(dir.path()));
    other.kill_it();  // killed, not ended cleanly: the lock goes with it
    EXPECT_TRUE(FolderLock(dir.path()).held());
}

TEST(FolderLock, IsSharedWithinAProcessAndReleasedByTheLastHolder) {
    TempDir dir;
    {
        FolderLock first(dir.path());
        ASSERT_TRUE(first.held());
        {
            FolderLock second(dir.path());
            EXPECT_TRUE(second.held());
            EXPECT_TRUE(folder_is_free_for_us(dir.path()));
        }
        // The inner one ended; the lock is still ours, so a child is kept out.
        pid_t child = ::fork();
        if (child == 0) _exit(FolderLock(dir.path()).held() ? 1 : 0);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "a child process took the lock we hold";
    }
    pid_t child = ::fork();
    if (child == 0) _exit(FolderLock(dir.path()).held() ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the lock outlived its last holder";
}

TEST(FolderLock, AMissingFolderIsAnError) {
    TempDir dir;
    EXPECT_THROW(FolderLock(dir / "missing"), velutil::FileError);
    EXPECT_FALSE(folder_is_free_for_us(dir / "missing"));
}

TEST(FolderLock, TemporariesOfALiveLockHolderAreKept) {
    TempDir dir;
    dir.write(".out.pdf.tmp-abc123", "a live run's half-written file");
    struct timespec later {};
    ::clock_gettime(CLOCK_REALTIME, &later);
    later.tv_sec += 60;
    {
        OtherHolder other(dir.path());
        EXPECT_EQ(velutil::remove_stale_temporaries(dir.path(), later), 0);
        EXPECT_EQ(dir.read(".out.pdf.tmp-abc123"), "a live run's half-written file");
    }
    EXPECT_EQ(velutil::remove_stale_temporaries(dir.path(), later), 1) << "its holder is gone";
}
