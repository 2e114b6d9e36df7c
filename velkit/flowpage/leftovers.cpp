#include "leftovers.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "diagram_cache.hpp"
#include "paths.hpp"

namespace velkit::flowpage {

namespace {

bool is_random_suffix(const std::string& text) {
    if (text.size() != 6) return false;
    for (char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!plain) return false;
    }
    return true;
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(listing)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(listing);
    }
    return names;
}

bool folder_older_than(const std::string& path, std::time_t start) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_mtime < start;
}

}  // namespace

int remove_scratch_leftovers(const std::string& output_folder, std::time_t start) {
    int removed = 0;
    std::string cache = ::velutil::join_path(output_folder, kCacheFolderName);
    for (const auto& name : names_in(cache)) {
        std::string path = ::velutil::join_path(cache, name);
        if (name.rfind("work-", 0) != 0 || !is_random_suffix(name.substr(5)) || !folder_older_than(path, start)) continue;
        for (const auto& inner : names_in(path)) ::unlink(::velutil::join_path(path, inner).c_str());
        if (::rmdir(path.c_str()) == 0) ++removed;
    }
    return removed;
}

}  // namespace velkit::flowpage
