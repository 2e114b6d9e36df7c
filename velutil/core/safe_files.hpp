// File writes and moves that never lose data: every file appears under its
// final name complete or not at all.
#pragma once
#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <functional>
#include <string>

namespace velutil {

// Creates `path` and every missing parent folder ("mkdir -p").
void make_dirs(const std::string& path);

// Whether a write waits until the data is on the disk. Either way the file
// appears under its name whole or not at all when the process fails;
// flushing also covers a crash of the whole machine, at the price of
// waiting for the disk.
enum class Durability {
    kFlushToDisk,
    kLeaveToSystem,  // for large outputs that can be rebuilt from their inputs
};

// Writes `data` to a temporary file beside `path`, optionally flushes it to
// disk, and renames it over `path`; with kFlushToDisk the folder is flushed
// too, so that the new name survives a power cut. A failure leaves an
// earlier file at `path` intact.
//
// Temporary files are named ".NAME.tmp-XXXXXX" and opened close-on-exec. The
// first temporary a process makes in a folder removes the ones there that
// a killed run left behind (changed before this process loaded the code).
void write_file_atomically(const std::string& path, const char* data, size_t size,
                           Durability durability = Durability::kFlushToDisk);
inline void write_file_atomically(const std::string& path, const std::string& data) {
    write_file_atomically(path, data.data(), data.size());
}

// Whether `name` is one of the temporary names above.
bool is_temporary_name(const std::string& name);

// Removes the temporary files directly in `folder` whose status changed
// before `changed_before`; returns how many went.
int remove_stale_temporaries(const std::string& folder, const struct timespec& changed_before);

// `path` when nothing exists there, else the first of "stem_2.ext",
// "stem_3.ext", ... that is free.
std::string first_free_name(const std::string& path);

// The same sequence of names, taking the first for which `is_taken` is
// false (for names that are spoken for without existing yet).
std::string first_free_name(const std::string& path, const std::function<bool(const std::string&)>& is_taken);

// Copies `src` to `dest_candidate`, or to the first free name after it, and
// never replaces an existing file. Returns the path written.
std::string copy_to_free_name(const std::string& src, const std::string& dest_candidate);

struct MoveOutcome {
    std::string dest;
    std::string backup;
};

// Flushes what move_with_backup left for later since the last call: the
// backup copies and the new names of renames within one file system (one
// flush per file system). Also runs when the process ends.
void flush_pending_folders();
void flush_folder_later(const std::string& folder);

// Renames `from` to `to` unless something exists at `to`; false when `to`
// is taken. The test and the rename are one step of the file system, so a
// file that appears at `to` meanwhile is never replaced. Throws FileError
// (EXDEV across file systems).
bool rename_if_free(const std::string& from, const std::string& to);

// What a move does when a file exists at its destination already.
enum class AtDestination {
    kReplace,          // the moved file takes its place
    kUseFirstFreeName  // the moved file goes to the first free name after it
};

// Keeps a copy of `src` at `backup` (or the first free name after it), then
// moves `src` to `dest`. Parent folders are created. Within one file system
// the move is a rename, and the destination's folder is flushed by
// flush_pending_folders (at the latest when the process ends): until then a
// power cut can undo the rename, never lose the file. Across file systems
// the file is copied beside `dest`, flushed, put into place, and only then
// is `src` removed, with the destination folder flushed before the source
// goes and the source's folder around its removal. With
// kUseFirstFreeName an existing file is never replaced, not even one that
// appears while the move is under way. Throws FileError, with `src`
// untouched, when a step fails.
MoveOutcome move_with_backup(const std::string& src, const std::string& dest, const std::string& backup,
                             AtDestination at_dest = AtDestination::kReplace);

// The system calls under the writes and moves above, in one table so that
// a test can make any of them fail (a full disk, a failing flush, a refused
// rename) and check that nothing is lost. Only tests change the entries.
struct FileSystemCalls {
    ssize_t (*write)(int fd, const void* data, size_t size);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*rename_noreplace)(const char* from, const char* to);  // fails with EEXIST when `to` exists
    int (*link)(const char* from, const char* to);
};
FileSystemCalls& file_system_calls();

}  // namespace velutil

namespace velutil {

// The whole content of a file. Throws FileError.
std::string read_file(const std::string& path);

}  // namespace velutil
