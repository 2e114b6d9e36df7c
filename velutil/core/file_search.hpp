// Folder checks and file listing.
#pragma once
#include <string>
#include <vector>

namespace velutil {

// Result codes of check_file_or_dir.
enum FolderStatus : int {
    kFolderExists = 0,
    kPathMissing = 1,
    kNotAFolder = 2,
};

FolderStatus check_file_or_dir(const std::string& path);

// Extensions are compared without regard to ASCII case; "png" and ".PNG"
// name the same extension.
std::string normalize_extension(const std::string& extension);
bool has_extension(const std::string& file_name, const std::vector<std::string>& extensions);

struct FoundFile {
    std::string path;  // folder joined with the relative path
    std::string name;  // the file name alone
};

// An entry whose name matched but that is no regular file: opening it could
// block for ever (a FIFO) or read a device.
struct PassedOver {
    std::string name;  // relative path
    std::string kind;  // "a folder", "a FIFO", ...
};

// "" for a regular file or a link to one; else what `path` is: "a folder",
// "a FIFO", "a socket", "a device", "a dangling link", "missing".
std::string non_regular_kind(const std::string& path);

// Regular files (links to regular files included) of `folder` whose name
// ends in one of `extensions`, sorted by relative path in byte order.
// Hidden entries (leading ".") and office lock files ("~$" prefix) are left
// out, in sub-folders too. Other entries with such a name (folders not
// searched, FIFOs, sockets, devices, dangling links) are never opened; they
// go to `passed_over` when given, in the same order. Throws FileError when
// the folder cannot be read.
std::vector<FoundFile> find_files(const std::string& folder,
                                  const std::vector<std::string>& extensions,
                                  bool recursive, std::vector<PassedOver>* passed_over = nullptr);

bool is_regular_file(const std::string& path);

}  // namespace velutil
