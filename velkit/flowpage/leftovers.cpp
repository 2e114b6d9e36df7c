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

bool older_than(const std::string& path, std::time_t start, bool folder) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && (folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode)) &&
           info.st_mtime < start;
}

}  // namespace

std::string leftover_target(const std::string& name) {
    size_t mark = name.rfind(".tmp-");
    bool leftover = name.size() > 1 && name[0] == '.' && mark != std::string::npos && mark > 1 &&
                    is_random_suffix(name.substr(mark + 5));
    return leftover ? name.substr(1, mark - 1) : "";
}

int remove_leftovers(const std::string& folder, std::time_t start,
                     const std::function<bool(const std::string& file)>& ours) {
    int removed = 0;
    for (const auto& name : names_in(folder)) {
        std::string path = ::velutil::join_path(folder, name);
        std::string target = leftover_target(name);
        if (!target.empty() && ours(target) && older_than(path, start, false) && ::unlink(path.c_str()) == 0) ++removed;
    }
    std::string cache = ::velutil::join_path(folder, kCacheFolderName);
    for (const auto& name : names_in(cache)) {
        std::string path = ::velutil::join_path(cache, name);
        if (name.rfind("work-", 0) != 0 || !is_random_suffix(name.substr(5)) || !older_than(path, start, true)) continue;
        for (const auto& inner : names_in(path)) ::unlink(::velutil::join_path(path, inner).c_str());
        if (::rmdir(path.c_str()) == 0) ++removed;
    }
    return removed;
}

}  // namespace velkit::flowpage
