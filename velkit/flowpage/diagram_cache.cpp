#include "diagram_cache.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "digest.hpp"
#include "file_error.hpp"
#include "paths.hpp"
#include "safe_files.hpp"

namespace velkit::flowpage {

namespace {

bool is_file(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The value of "version" in a package.json, "" when there is none.
std::string package_version(const std::string& path) {
    std::string text;
    try {
        text = ::velutil::read_file(path);
    } catch (const ::velutil::FileError&) {
        return "";
    }
    size_t key = text.find("\"version\"");
    if (key == std::string::npos) return "";
    size_t open = text.find('"', text.find(':', key));
    size_t close = open == std::string::npos ? open : text.find('"', open + 1);
    if (close == std::string::npos) return "";
    return text.substr(open + 1, close - open - 1);
}

}  // namespace

std::string renderer_identity(const std::string& executable) {
    char resolved[PATH_MAX];
    if (::realpath(executable.c_str(), resolved) == nullptr) return executable;
    std::string file = resolved;
    std::string identity = file;
    struct stat info {};
    if (::stat(resolved, &info) == 0) {
        identity += "|" + std::to_string(info.st_size) + "|" + std::to_string(info.st_mtim.tv_sec) + "." +
                    std::to_string(info.st_mtim.tv_nsec);
    }
    for (std::string folder = ::velutil::dir_name(file); !folder.empty() && folder != "/";
         folder = ::velutil::dir_name(folder)) {
        std::string package = ::velutil::join_path(folder, "package.json");
        if (is_file(package)) return identity + "|" + package_version(package);
    }
    return identity;
}

DiagramCache::DiagramCache(std::string folder, std::string renderer_identity, std::string options)
    : folder_(std::move(folder)), renderer_(std::move(renderer_identity)), options_(std::move(options)) {}

std::string DiagramCache::key(const std::string& source) const {
    std::string material = renderer_;
    material += '\0';
    material += options_;
    material += '\0';
    material += source;
    return sha256_hex(material);
}

std::string DiagramCache::path_of(const std::string& key, const char* extension) const {
    return ::velutil::join_path(folder_, key + extension);
}

std::optional<std::string> DiagramCache::find(const std::string& key) { return find_file(key, ".svg"); }

std::optional<std::string> DiagramCache::find_failure(const std::string& key) { return find_file(key, ".failed"); }

void DiagramCache::store_failure(const std::string& key, const std::string& problem) {
    used_.insert(key);
    ::velutil::make_dirs(folder_);
    ::velutil::write_file_atomically(path_of(key, ".failed"), problem.data(), problem.size(),
                                     ::velutil::Durability::kLeaveToSystem);
}

std::optional<std::string> DiagramCache::find_file(const std::string& key, const char* extension) {
    used_.insert(key);
    std::string path = path_of(key, extension);
    if (!is_file(path)) return std::nullopt;
    try {
        return ::velutil::read_file(path);
    } catch (const ::velutil::FileError&) {
        return std::nullopt;
    }
}

void DiagramCache::store(const std::string& key, const std::string& svg) {
    used_.insert(key);
    ::velutil::make_dirs(folder_);
    ::velutil::write_file_atomically(path_of(key), svg.data(), svg.size(), ::velutil::Durability::kLeaveToSystem);
}

void DiagramCache::prune() const {
    DIR* folder = ::opendir(folder_.c_str());
    if (folder == nullptr) return;
    while (dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        auto parts = ::velutil::split_extension(name);
        if ((parts.extension == ".svg" || parts.extension == ".failed") && used_.count(parts.stem) == 0) {
            ::unlink(::velutil::join_path(folder_, name).c_str());
        }
    }
    ::closedir(folder);
}

}  // namespace velkit::flowpage
