// File writes and moves that never lose data: every file appears under its
// final name complete or not at all.
#pragma once
#include <cstddef>
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
// disk, and renames it over `path`. A failure leaves an earlier file at
// `path` intact.
void write_file_atomically(const std::string& path, const char* data, size_t size,
                           Durability durability = Durability::kFlushToDisk);
inline void write_file_atomically(const std::string& path, const std::string& data) {
    write_file_atomically(path, data.data(), data.size());
}

// `path` when nothing exists there, else the first of "stem_2.ext",
// "stem_3.ext", ... that is free.
std::string first_free_name(const std::string& path);

// Copies `src` to `dest_candidate`, or to the first free name after it, and
// never replaces an existing file. Returns the path written.
std::string copy_to_free_name(const std::string& src, const std::string& dest_candidate);

struct MoveOutcome {
    std::string dest;
    std::string backup;
};

// Keeps a copy of `src` at `backup` (or the first free name after it), then
// moves `src` to `dest`, replacing a file there. Parent folders are created.
// Within one file system the move is a rename; across file systems the file
// is copied beside `dest`, flushed, renamed into place, and only then is
// `src` removed. Throws FileError, with `src` untouched, when a step fails.
MoveOutcome move_with_backup(const std::string& src, const std::string& dest,
                             const std::string& backup);

}  // namespace velutil

namespace velutil {

// The whole content of a file. Throws FileError.
std::string read_file(const std::string& path);

}  // namespace velutil
