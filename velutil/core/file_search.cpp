#include "file_search.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "file_error.hpp"
#include "paths.hpp"
#include "text_kit.hpp"

namespace velutil {

FolderStatus check_file_or_dir(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return kPathMissing;
    return S_ISDIR(info.st_mode) ? kFolderExists : kNotAFolder;
}

bool is_regular_file(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string normalize_extension(const std::string& extension) {
    std::string lowered = ascii_lower(extension);
    if (!lowered.empty() && lowered.front() != '.') lowered.insert(0, ".");
    return lowered;
}

bool has_extension(const std::string& file_name, const std::vector<std::string>& extensions) {
    std::string lowered = ascii_lower(file_name);
    for (const auto& extension : extensions) {
        std::string wanted = normalize_extension(extension);
        if (wanted.empty() || lowered.size() <= wanted.size()) continue;
        if (lowered.compare(lowered.size() - wanted.size(), wanted.size(), wanted) == 0) return true;
    }
    return false;
}

namespace {

bool is_skipped_name(const std::string& name) {
    return name.empty() || name.front() == '.' || name.rfind("~$", 0) == 0;
}

void collect(const std::string& folder, const std::string& relative,
             const std::vector<std::string>& extensions, bool recursive,
             std::vector<std::pair<std::string, FoundFile>>& found) {
    std::string here = relative.empty() ? folder : join_path(folder, relative);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(here.c_str()), ::closedir);
    if (!dir) throw FileError(errno, "Cannot read folder", here);
    while (dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (is_skipped_name(name)) continue;
        std::string rel = relative.empty() ? name : relative + "/" + name;
        std::string full = join_path(folder, rel);
        struct stat info {};
        if (::lstat(full.c_str(), &info) != 0) continue;
        bool is_link = S_ISLNK(info.st_mode);
        if (is_link && ::stat(full.c_str(), &info) != 0) continue;  // dangling link
        if (S_ISDIR(info.st_mode)) {
            // Links to folders are not followed: they could form a cycle.
            if (recursive && !is_link) collect(folder, rel, extensions, recursive, found);
        } else if (S_ISREG(info.st_mode) && has_extension(name, extensions)) {
            found.push_back({rel, FoundFile{full, name}});
        }
    }
}

}  // namespace

std::vector<FoundFile> find_files(const std::string& folder,
                                  const std::vector<std::string>& extensions,
                                  bool recursive) {
    std::vector<std::pair<std::string, FoundFile>> found;
    collect(folder, "", extensions, recursive, found);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<FoundFile> result;
    result.reserve(found.size());
    for (auto& entry : found) result.push_back(std::move(entry.second));
    return result;
}

}  // namespace velutil
