#include "source_tree.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "paths.hpp"
#include "site.hpp"

namespace velkit::flowpage {

namespace {

using FileId = std::pair<dev_t, ino_t>;

std::string real_path(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool inside(const std::string& real, const std::string& root) {
    return real == root || (real.size() > root.size() && real.compare(0, root.size(), root) == 0 &&
                            (root == "/" || real[root.size()] == '/'));
}

class Walker {
public:
    Walker(const std::string& input_folder, const std::string& output_folder) : input_(input_folder) {
        root_real_ = real_path(input_folder);
        struct stat info {};
        if (::stat(output_folder.c_str(), &info) == 0) {
            output_ = {info.st_dev, info.st_ino};
            has_output_ = true;
        }
    }

    void walk(const std::string& relative) {
        std::string folder = relative.empty() ? input_ : ::velutil::join_path(input_, relative);
        struct stat here {};
        if (::stat(folder.c_str(), &here) != 0) return;
        if (!visited_.insert({here.st_dev, here.st_ino}).second) return;  // a link back up the tree
        DIR* listing = ::opendir(folder.c_str());
        if (listing == nullptr) {
            tree_.unreadable.push_back((relative.empty() ? "." : relative) + " (" + std::strerror(errno) + ")");
            return;
        }
        std::vector<std::string> names;
        while (dirent* entry = ::readdir(listing)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(listing);
        std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return natural_less(a, b); });
        std::vector<std::string> folders;
        for (const auto& name : names) {
            std::string child = relative.empty() ? name : relative + "/" + name;
            std::string path = ::velutil::join_path(input_, child);
            bool document = has_extension(name, ".md");
            bool diagram = !document && has_extension(name, ".mmd");
            struct stat link {};
            if (::lstat(path.c_str(), &link) != 0) continue;
            bool symlink = S_ISLNK(link.st_mode);
            struct stat target {};
            bool resolves = ::stat(path.c_str(), &target) == 0;
            // A folder named "x.md" is a document that cannot be read, and is reported so.
            bool is_folder = resolves && S_ISDIR(target.st_mode) && !document && !diagram;
            if (!document && !diagram && !is_folder) continue;
            if (is_folder && name[0] == '.') continue;
            if (is_folder && has_output_ && target.st_dev == output_.first && target.st_ino == output_.second) continue;
            if (symlink && resolves && !inside(real_path(path), root_real_)) {
                tree_.leaving.push_back(child);
                continue;
            }
            if (is_folder) folders.push_back(child);
            else if (document) tree_.documents.push_back(child);
            else tree_.diagrams.push_back(child);
        }
        for (const auto& child : folders) walk(child);
    }

    SourceTree take() { return std::move(tree_); }

private:
    std::string input_;
    std::string root_real_;
    FileId output_{};
    bool has_output_ = false;
    std::set<FileId> visited_;
    SourceTree tree_;
};

}  // namespace

SourceTree list_source_tree(const std::string& input_folder, const std::string& output_folder) {
    Walker walker(input_folder, output_folder);
    walker.walk("");
    return walker.take();
}

std::string folder_of(const std::string& relative) {
    size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::string relative_link_path(const std::string& from, const std::string& to) {
    std::string from_folder = folder_of(from);
    std::vector<std::string> up;
    size_t common = 0;
    // Length of the shared leading folders.
    std::string prefix;
    size_t start = 0;
    while (!from_folder.empty()) {
        size_t end = from_folder.find('/', start);
        std::string part = from_folder.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = prefix.empty() ? part : prefix + "/" + part;
        if (common == up.size() && to.compare(0, candidate.size() + 1, candidate + "/") == 0) {
            prefix = candidate;
            ++common;
        }
        up.push_back(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::string out;
    for (size_t i = common; i < up.size(); ++i) out += "../";
    return out + (prefix.empty() ? to : to.substr(prefix.size() + 1));
}

}  // namespace velkit::flowpage
