#include "name_pattern.hpp"

#include <fnmatch.h>

#include "paths.hpp"

namespace velutil {

namespace {

bool is_separator(char c) { return c == '_' || c == '-' || c == '.' || c == ' ' || c == '\t'; }

std::string trim_separators(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && is_separator(text[begin])) ++begin;
    while (end > begin && is_separator(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool glob_matches(const std::string& pattern, const std::string& text) {
    return ::fnmatch(pattern.c_str(), text.c_str(), 0) == 0;
}

}  // namespace

bool has_wildcard(const std::string& pattern) {
    return pattern.find_first_of("*?[") != std::string::npos;
}

PatternMatch match_file_name(const std::string& file_name, const std::string& pattern,
                             const std::string& prefix) {
    const std::string stem = split_extension(file_name).stem;
    if (!prefix.empty() && stem.rfind(prefix, 0) != 0) return {};

    std::string caption = trim_separators(stem.substr(prefix.size()));
    if (caption.empty()) caption = stem;

    bool matched = has_wildcard(pattern) ? glob_matches(pattern, caption) || glob_matches(pattern, stem) ||
                                               glob_matches(pattern, file_name)
                                         : stem.find(pattern) != std::string::npos;
    if (!matched) return {};
    return {true, caption};
}

}  // namespace velutil
