#include "paths.hpp"

namespace velutil {

std::string join_path(const std::string& folder, const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string base_name(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dir_name(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

NameParts split_extension(const std::string& file_name) {
    auto dot = file_name.rfind('.');
    // Leading dots belong to the stem: ".hidden" and "..x" have no extension.
    auto first_non_dot = file_name.find_first_not_of('.');
    if (dot == std::string::npos || first_non_dot == std::string::npos || dot < first_non_dot) {
        return {file_name, ""};
    }
    return {file_name.substr(0, dot), file_name.substr(dot)};
}


}  // namespace velutil
