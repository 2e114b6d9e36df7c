// One run at a time per folder: an advisory lock (flock) on the folder
// itself, so no lock file is left in the user's folder. The lock ends with
// the process that holds it, however that ends (even killed), and is not
// passed on to child processes (the descriptor is close-on-exec).
//
// Temporary files in a folder belong to the run that holds its lock: a
// folder's leftovers are removed only by a process that holds, or can take,
// its lock (safe_files.hpp).
#pragma once
#include <string>

namespace velutil {

class FolderLock {
public:
    // Tries to lock `folder` (which must exist) without waiting. held() is
    // false when another process holds it. Throws FileError when the folder
    // cannot be opened. Within one process the lock is shared: a second
    // FolderLock on a folder this process holds is held too.
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&&) = delete;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool held() const { return held_; }

private:
    bool held_ = false;
    unsigned long long device_ = 0;
    unsigned long long inode_ = 0;
};

// True when no live process other than this one holds `folder`'s lock: this
// process holds it, or nobody does.
bool folder_is_free_for_us(const std::string& folder);

}  // namespace velutil
