#include "name_pattern.hpp"

#include <vector>

#include "paths.hpp"
#include "text_kit.hpp"

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

// The code points of the text, a stray byte standing alone as the
// interpreter's surrogate escapes do.
std::vector<char32_t> code_points(std::string_view text) {
    std::vector<char32_t> result;
    result.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        Utf8Unit unit = decode_utf8(text, at);
        result.push_back(unit.code);
        at += unit.length;
    }
    return result;
}

// A "[...]" set starting at pattern[at] (the "["). Sets `end` to the index
// after its "]"; false when the set is not closed (the "[" is then literal).
bool match_set(const std::vector<char32_t>& pattern, size_t at, char32_t c, bool& matched, size_t& end) {
    size_t i = at + 1;
    bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negate) ++i;
    bool found = false;
    bool first = true;
    while (i < pattern.size() && (first || pattern[i] != ']')) {
        first = false;
        char32_t low = pattern[i];
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            found = found || (low <= c && c <= pattern[i + 2]);
            i += 3;
        } else {
            found = found || low == c;
            ++i;
        }
    }
    if (i >= pattern.size()) return false;
    matched = found != negate;
    end = i + 1;
    return true;
}

bool glob_matches(const std::vector<char32_t>& pattern, const std::vector<char32_t>& text) {
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string::npos;
    size_t star_text = 0;
    while (t < text.size()) {
        bool advanced = false;
        if (p < pattern.size()) {
            char32_t pc = pattern[p];
            if (pc == '*') {
                star = p++;
                star_text = t;
                continue;
            }
            bool in_set = false;
            size_t after_set = 0;
            if (pc == '[' && match_set(pattern, p, text[t], in_set, after_set)) {
                if (in_set) {
                    p = after_set;
                    ++t;
                    advanced = true;
                }
            } else if (pc == '?' || pc == text[t]) {
                ++p;
                ++t;
                advanced = true;
            }
        }
        if (advanced) continue;
        if (star == std::string::npos) return false;
        p = star + 1;
        t = ++star_text;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool glob_matches(std::string_view pattern, std::string_view text) {
    return glob_matches(code_points(pattern), code_points(text));
}

bool has_wildcard(const std::string& pattern) {
    return pattern.find_first_of("*?[") != std::string::npos;
}

PatternMatch match_file_name(const std::string& file_name, const std::string& pattern,
                             const std::string& prefix) {
    const std::string stem = split_extension(file_name).stem;
    if (!prefix.empty() && stem.rfind(prefix, 0) != 0) return {};

    std::string caption = trim_separators(stem.substr(prefix.size()));
    if (caption.empty()) caption = stem;

    bool matched = false;
    if (has_wildcard(pattern)) {
        matched = glob_matches(pattern, caption) || glob_matches(pattern, stem) || glob_matches(pattern, file_name);
    } else {
        matched = stem.find(pattern) != std::string::npos;
    }
    if (!matched) return {};
    return {true, caption};
}

}  // namespace velutil
