#include "folder_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#include "file_error.hpp"

namespace velutil {

namespace {

using FolderId = std::pair<unsigned long long, unsigned long long>;

struct Holding {
    int fd = -1;    // the open folder that carries the lock
    int count = 0;  // FolderLocks of this process on it
    pid_t holder = 0;  // a forked child inherits the table, not the lock
};

// The folders this process holds: flock locks belong to an open file, so a
// second open of the same folder in this process would otherwise be
// refused by our own lock.
std::mutex registry_mutex;
std::map<FolderId, Holding>& held_here() {
    static std::map<FolderId, Holding> folders;
    return folders;
}

int open_folder(const std::string& folder) {
    return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

FolderLock::FolderLock(const std::string& folder) {
    int fd = open_folder(folder);
    if (fd < 0) throw FileError(errno, "Cannot open the folder", folder);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        throw FileError(error, "Cannot read the folder", folder);
    }
    device_ = info.st_dev;
    inode_ = info.st_ino;
    std::lock_guard<std::mutex> guard(registry_mutex);
    auto found = held_here().find({device_, inode_});
    if (found != held_here().end() && found->second.holder != ::getpid()) {
        held_here().erase(found);
        found = held_here().end();
    }
    if (found != held_here().end()) {
        ::close(fd);
        ++found->second.count;
        held_ = true;
        return;
    }
    int result = 0;
    while ((result = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        ::close(fd);
        return;
    }
    held_ = true;
    held_here()[{device_, inode_}] = Holding{fd, 1, ::getpid()};
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : held_(std::exchange(other.held_, false)),
      device_(other.device_),
      inode_(other.inode_) {}

FolderLock::~FolderLock() {
    if (!held_) return;
    std::lock_guard<std::mutex> guard(registry_mutex);
    auto found = held_here().find({device_, inode_});
    if (found == held_here().end() || found->second.holder != ::getpid() || --found->second.count > 0) return;
    ::close(found->second.fd);
    held_here().erase(found);
}

bool folder_is_free_for_us(const std::string& folder) {
    try {
        FolderLock lock(folder);
        return lock.held();
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace velutil
