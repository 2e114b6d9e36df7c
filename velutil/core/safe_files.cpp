#include "safe_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "file_error.hpp"
#include "paths.hpp"

namespace velutil {

namespace {

constexpr char kTempMarker[] = ".tmp-";
constexpr size_t kTempSuffixLength = 6;  // what mkostemp puts in place of "XXXXXX"

bool is_ascii_alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool older_than(const struct timespec& time, const struct timespec& limit) {
    return time.tv_sec < limit.tv_sec || (time.tv_sec == limit.tv_sec && time.tv_nsec < limit.tv_nsec);
}

int rename_noreplace(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

}  // namespace

FileSystemCalls& file_system_calls() {
    static FileSystemCalls calls{::write, ::fsync, ::rename, rename_noreplace, ::link};
    return calls;
}

bool is_temporary_name(const std::string& name) {
    const std::string marker = kTempMarker;
    if (name.size() < 2 + marker.size() + kTempSuffixLength || name.front() != '.') return false;
    size_t suffix = name.size() - kTempSuffixLength;
    if (name.compare(suffix - marker.size(), marker.size(), marker) != 0) return false;
    for (size_t i = suffix; i < name.size(); ++i) {
        if (!is_ascii_alnum(name[i])) return false;
    }
    return true;
}

int remove_stale_temporaries(const std::string& folder, const struct timespec& changed_before) {
    std::string here = folder.empty() ? "." : folder;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(here.c_str()), ::closedir);
    if (!dir) return 0;
    int removed = 0;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (!is_temporary_name(name)) continue;
        std::string path = join_path(folder, name);
        struct stat info {};
        // The change time, which copying a file's times does not set back.
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        if (!older_than(info.st_ctim, changed_before)) continue;
        removed += ::unlink(path.c_str()) == 0;
    }
    return removed;
}

namespace {

// Closes a descriptor on every path out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int close() {
        int result = 0;
        if (fd_ >= 0) result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// Removes a temporary file unless it was handed on.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::string path_;
};

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void write_all(int fd, const char* data, size_t size, const std::string& path) {
    while (size > 0) {
        ssize_t written = file_system_calls().write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw FileError(errno, "Cannot write", path);
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

std::string shown_folder(const std::string& folder) { return folder.empty() ? "." : folder; }

// Makes the folder's entries (a rename, a new name, a removal) durable.
// A folder we may write into but not read cannot be opened for this; that
// is left to the system.
void flush_folder(const std::string& folder) {
    Descriptor dir(::open(shown_folder(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        if (errno == EACCES) return;
        throw FileError(errno, "Cannot open folder", shown_folder(folder));
    }
    // EINVAL: a file system that has nothing to flush for folders.
    if (file_system_calls().fsync(dir.get()) != 0 && errno != EINVAL) throw FileError(errno, "Cannot flush folder", shown_folder(folder));
}

// Folders whose renames within one file system still wait for their flush.
// Such a rename never loses the file (after a power cut it is under its old
// name or its new one), so the flush can wait until a batch of moves is
// through: one flush per folder instead of one per file.
struct PendingFolders {
    std::mutex lock;
    std::set<std::string> folders;
    ~PendingFolders() {
        try {
            flush_pending_folders();
        } catch (const FileError&) {
        }
    }
};

PendingFolders& pending_folders() {
    static PendingFolders pending;
    return pending;
}

// When this run began; temporaries changed before it belong to a run that
// was killed. The coarse clock is the one file times are stamped with.
const struct timespec run_start = [] {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}();

// Sweeps each folder once per process, on the first temporary made there.
void remove_stale_temporaries_once(const std::string& folder) {
    static std::mutex lock;
    static std::set<std::pair<dev_t, ino_t>> swept;
    struct stat info {};
    if (::stat(shown_folder(folder).c_str(), &info) != 0) return;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!swept.insert({info.st_dev, info.st_ino}).second) return;
    }
    remove_stale_temporaries(folder, run_start);
}

// Hands everything left to read from `fd` to `sink`, a chunk at a time.
template <typename Sink>
void read_in_chunks(int fd, const std::string& path, Sink sink) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            throw FileError(errno, "Cannot read", path);
        }
        if (got == 0) return;
        sink(buffer.data(), static_cast<size_t>(got));
    }
}

// A new, empty, hidden temporary file in the folder of `beside`.
std::pair<std::string, int> make_temp_beside(const std::string& beside) {
    std::string folder = dir_name(beside);
    remove_stale_temporaries_once(folder);
    std::string pattern = join_path(folder, "." + base_name(beside) + kTempMarker + "XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // Close-on-exec, so that a program started meanwhile holds no copy.
    int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) throw FileError(errno, "Cannot create a temporary file in", shown_folder(folder));
    return {std::string(buffer.data()), fd};
}

mode_t default_file_mode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void flush_and_close(Descriptor& fd, const std::string& path) {
    if (file_system_calls().fsync(fd.get()) != 0) throw FileError(errno, "Cannot flush", path);
    if (fd.close() != 0) throw FileError(errno, "Cannot close", path);
}

// Copies the content, permissions and times of `src` into a new temporary
// file beside `beside`; the caller gives it its final name.
std::string copy_to_temp(const std::string& src, const std::string& beside, bool flush = true) {
    Descriptor in(::open(src.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throw FileError(errno, "Cannot open", src);
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) throw FileError(errno, "Cannot read", src);

    auto [temp_path, temp_fd] = make_temp_beside(beside);
    TempFile temp(temp_path);
    Descriptor out(temp_fd);
    read_in_chunks(in.get(), src, [&](const char* data, size_t size) { write_all(out.get(), data, size, temp.path()); });
    ::fchmod(out.get(), info.st_mode & 07777);
    struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(out.get(), times);
    if (flush) {
        flush_and_close(out, temp.path());
    } else if (out.close() != 0) {
        throw FileError(errno, "Cannot close", temp.path());
    }
    temp.release();
    return temp_path;
}

}  // namespace

void make_dirs(const std::string& path) {
    if (path.empty()) return;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return;
        throw FileError(ENOTDIR, "Not a folder", path);
    }
    std::string parent = dir_name(path);
    if (!parent.empty() && parent != path) make_dirs(parent);
    if (::mkdir(path.c_str(), 0777) != 0) {
        if (errno == EEXIST) return;
        throw FileError(errno, "Cannot create folder", path);
    }
    // A file later put into the new folder must not vanish with it.
    flush_folder(parent);
}

void write_file_atomically(const std::string& path, const char* data, size_t size, Durability durability) {
    auto [temp_path, temp_fd] = make_temp_beside(path);
    TempFile temp(temp_path);
    Descriptor out(temp_fd);
    write_all(out.get(), data, size, temp.path());
    struct stat existing {};
    mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : default_file_mode();
    ::fchmod(out.get(), mode);
    if (durability == Durability::kFlushToDisk) {
        flush_and_close(out, temp.path());
    } else if (out.close() != 0) {
        throw FileError(errno, "Cannot close", temp.path());
    }
    if (file_system_calls().rename(temp.path().c_str(), path.c_str()) != 0) throw FileError(errno, "Cannot replace", path);
    temp.release();
    if (durability == Durability::kFlushToDisk) flush_folder(dir_name(path));
}

std::string first_free_name(const std::string& path) { return first_free_name(path, exists); }

std::string first_free_name(const std::string& path, const std::function<bool(const std::string&)>& is_taken) {
    if (!is_taken(path)) return path;
    std::string folder = dir_name(path);
    NameParts parts = split_extension(base_name(path));
    for (int n = 2;; ++n) {
        char digits[16];
        auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
        std::string candidate = join_path(folder, parts.stem + "_" + std::string(digits, end) + parts.extension);
        if (!is_taken(candidate)) return candidate;
    }
}

std::string copy_to_free_name(const std::string& src, const std::string& dest_candidate) {
    make_dirs(dir_name(dest_candidate));
    // The backup is a second copy: the source stays whole until the move,
    // and a rename within one file system never loses it. So the copy goes
    // to the disk with the batch's flush (flush_pending_folders), one for
    // all backups instead of one each; across file systems the moved copy
    // itself is flushed before the source goes.
    TempFile temp(copy_to_temp(src, dest_candidate, false));
    flush_folder_later(dir_name(dest_candidate));
    // link() refuses to replace an existing file, so a name taken between
    // the check and the link is simply skipped.
    std::string candidate = first_free_name(dest_candidate);
    while (file_system_calls().link(temp.path().c_str(), candidate.c_str()) != 0) {
        if (errno != EEXIST) throw FileError(errno, "Cannot create", candidate);
        candidate = first_free_name(dest_candidate);
    }
    return candidate;  // the temporary name is removed by `temp`
}

void flush_pending_folders() {
    std::set<std::string> folders;
    {
        std::lock_guard<std::mutex> guard(pending_folders().lock);
        folders.swap(pending_folders().folders);
    }
    // One flush of each file system covers the backups' data and every
    // folder's new names on it.
    std::set<dev_t> flushed;
    for (const auto& folder : folders) {
        Descriptor dir(::open(shown_folder(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat info {};
        if (dir.get() < 0 || ::fstat(dir.get(), &info) != 0) {
            // A folder removed meanwhile has no names left to keep.
            if (errno == ENOENT || errno == ENOTDIR || errno == EACCES) continue;
            throw FileError(errno, "Cannot open folder", shown_folder(folder));
        }
        if (!flushed.insert(info.st_dev).second) continue;
        if (::syncfs(dir.get()) != 0) throw FileError(errno, "Cannot flush folder", shown_folder(folder));
    }
}

void flush_folder_later(const std::string& folder) {
    std::lock_guard<std::mutex> guard(pending_folders().lock);
    pending_folders().folders.insert(folder);
}

bool rename_if_free(const std::string& from, const std::string& to) {
    if (file_system_calls().rename_noreplace(from.c_str(), to.c_str()) == 0) return true;
    if (errno == EEXIST) return false;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        throw FileError(errno, "Cannot move to " + to, from);
    }
    // A file system without that rename: link() refuses an existing name
    // as well. For a moment the file has both names, never neither.
    if (file_system_calls().link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST) return false;
        throw FileError(errno, "Cannot move to " + to, from);
    }
    if (::unlink(from.c_str()) != 0) {
        int error = errno;
        ::unlink(to.c_str());
        throw FileError(error, "Cannot remove", from);
    }
    return true;
}

namespace {

// The last step of a move across file systems: the copy's name is made
// durable first, so that a power cut can at worst leave the file in both
// places, never in neither; the source folder is flushed around the removal.
void remove_source_after_copy(const std::string& src, const std::string& dest_folder) {
    flush_folder(dest_folder);
    std::string src_folder = dir_name(src);
    flush_folder(src_folder);
    if (::unlink(src.c_str()) != 0) throw FileError(errno, "Moved, but cannot remove", src);
    flush_folder(src_folder);
}

// Moves `src` to the first free name after `dest` and returns that name.
std::string move_to_free_name(const std::string& src, const std::string& dest) {
    std::string candidate = first_free_name(dest);
    try {
        while (!rename_if_free(src, candidate)) candidate = first_free_name(dest);
        flush_folder_later(dir_name(candidate));
        return candidate;
    } catch (const FileError& error) {
        if (error.error_number() != EXDEV) throw;
    }
    // Another file system: the complete copy gets its name by link(),
    // which fails rather than replace a file, and only then is `src` removed.
    TempFile temp(copy_to_temp(src, dest));
    candidate = first_free_name(dest);
    while (file_system_calls().link(temp.path().c_str(), candidate.c_str()) != 0) {
        if (errno != EEXIST) throw FileError(errno, "Cannot create", candidate);
        candidate = first_free_name(dest);
    }
    remove_source_after_copy(src, dir_name(candidate));
    return candidate;
}

}  // namespace

MoveOutcome move_with_backup(const std::string& src, const std::string& dest, const std::string& backup,
                             AtDestination at_dest) {
    struct stat info {};
    if (::stat(src.c_str(), &info) != 0) throw FileError(errno, "Cannot find", src);
    if (!S_ISREG(info.st_mode)) throw FileError(EINVAL, "Not a regular file", src);

    MoveOutcome outcome;
    outcome.backup = copy_to_free_name(src, backup);
    make_dirs(dir_name(dest));
    if (at_dest == AtDestination::kUseFirstFreeName) {
        outcome.dest = move_to_free_name(src, dest);
        return outcome;
    }
    outcome.dest = dest;
    if (file_system_calls().rename(src.c_str(), dest.c_str()) == 0) {
        flush_folder_later(dir_name(dest));
        return outcome;
    }
    if (errno != EXDEV) throw FileError(errno, "Cannot move to " + dest, src);

    // Another file system: the copy is complete under its final name before
    // the source goes away.
    TempFile temp(copy_to_temp(src, dest));
    if (file_system_calls().rename(temp.path().c_str(), dest.c_str()) != 0) throw FileError(errno, "Cannot replace", dest);
    temp.release();
    remove_source_after_copy(src, dir_name(dest));
    return outcome;
}

}  // namespace velutil

namespace velutil {

std::string read_file(const std::string& path) {
    Descriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throw FileError(errno, "Cannot open", path);
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) throw FileError(errno, "Cannot read", path);
    if (S_ISDIR(info.st_mode)) throw FileError(EISDIR, "Cannot read", path);
    std::string content;
    read_in_chunks(in.get(), path, [&](const char* data, size_t size) { content.append(data, size); });
    return content;
}

}  // namespace velutil
