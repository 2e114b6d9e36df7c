// What can be known before a move that it would fail: checked up front so
// that the dry run can say so and a real run makes no backup in vain.
// Plain C++ on file-system paths (bytes).
#pragma once
#include <cstddef>
#include <string>

namespace velkit::receipt_sort {

// The most bytes of a whole path the system accepts (PATH_MAX less the NUL).
constexpr std::size_t kMostPathBytes = 4095;

// Why files cannot be put into `folder`, or "" when they can: it exists as
// a folder we may write to, or it is missing and its nearest existing
// parent is such a folder (it will be created).
std::string folder_problem(const std::string& folder);

// Why `path` cannot be a file's path, or "": its last component or the
// whole path is longer than the system accepts.
std::string path_length_problem(const std::string& path);

}  // namespace velkit::receipt_sort
