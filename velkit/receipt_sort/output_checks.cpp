#include "output_checks.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_name.hpp"
#include "paths.hpp"

namespace velkit::receipt_sort {

std::string folder_problem(const std::string& folder) {
    std::string at = folder.empty() ? "." : folder;
    bool missing = false;
    // Walk up to the nearest part of the path that exists.
    for (;;) {
        struct stat info {};
        if (::stat(at.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                return missing ? "'" + at + "' is not a folder" : "it is not a folder";
            }
            break;
        }
        if (errno != ENOENT && errno != ENOTDIR) return std::strerror(errno);
        std::string parent = velutil::dir_name(at);
        if (parent.empty() || parent == at) {
            parent = at.front() == '/' ? "/" : ".";
            if (parent == at) return std::strerror(ENOENT);
        }
        at = parent;
        missing = true;
    }
    if (::access(at.c_str(), W_OK | X_OK) != 0) {
        return missing ? "cannot create it in '" + at + "': " + std::strerror(errno)
                       : std::string("cannot write to it: ") + std::strerror(errno);
    }
    return "";
}

std::string path_length_problem(const std::string& path) {
    if (velutil::base_name(path).size() > kMostFileNameBytes) {
        return "the file name is longer than " + std::to_string(kMostFileNameBytes) + " bytes";
    }
    if (path.size() > kMostPathBytes) return "the path is longer than " + std::to_string(kMostPathBytes) + " bytes";
    return "";
}

}  // namespace velkit::receipt_sort
