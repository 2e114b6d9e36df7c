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

std::string non_regular_kind(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return "missing";
    if (S_ISLNK(info.st_mode) && ::stat(path.c_str(), &info) != 0) return "a dangling link";
    if (S_ISREG(info.st_mode)) return "";
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (S_ISFIFO(info.st_mode)) return "a FIFO";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    return "a device";
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
             std::vector<std::pair<std::string, FoundFile>>& found, std::vector<PassedOver>& passed_over) {
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
        bool matches = has_extension(name, extensions);
        if (is_link && ::stat(full.c_str(), &info) != 0) {
            if (matches) passed_over.push_back({rel, "a dangling link"});
            continue;
        }
        if (S_ISDIR(info.st_mode) && recursive && !is_link) {
            // Links to folders are not followed: they could form a cycle.
            collect(folder, rel, extensions, recursive, found, passed_over);
        } else if (matches && S_ISREG(info.st_mode)) {
            found.push_back({rel, FoundFile{full, name}});
        } else if (matches) {
            passed_over.push_back({rel, non_regular_kind(full)});
        }
    }
}

}  // namespace

std::vector<FoundFile> find_files(const std::string& folder,
                                  const std::vector<std::string>& extensions,
                                  bool recursive, std::vector<PassedOver>* passed_over) {
    std::vector<std::pair<std::string, FoundFile>> found;
    std::vector<PassedOver> others;
    collect(folder, "", extensions, recursive, found, others);
    if (passed_over != nullptr) {
        std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        *passed_over = std::move(others);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<FoundFile> result;
    result.reserve(found.size());
    for (auto& entry : found) result.push_back(std::move(entry.second));
    return result;
}

}  // namespace velutil
