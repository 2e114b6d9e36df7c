#include "front_matter.hpp"

#include <algorithm>

namespace velkit::flowpage {

namespace {

bool is_line(std::string_view text, size_t at, size_t end, std::string_view mark) {
    std::string_view line = text.substr(at, end - at);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    return line == mark;
}

}  // namespace

FrontMatter split_front_matter(std::string_view text) {
    FrontMatter result;
    size_t first_end = text.find('\n');
    if (first_end == std::string_view::npos || !is_line(text, 0, first_end, "---")) {
        result.body = std::string(text);
        return result;
    }
    size_t lines = 1;
    for (size_t at = first_end + 1; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        ++lines;
        if (is_line(text, at, end, "---") || is_line(text, at, end, "...")) {
            result.found = true;
            result.yaml = std::string(text.substr(first_end + 1, at - first_end - 1));
            // Empty lines keep the line numbers of what follows.
            result.body = std::string(lines, '\n') + std::string(text.substr(std::min(end + 1, text.size())));
            return result;
        }
        at = end + 1;
    }
    result.body = std::string(text);
    return result;
}

}  // namespace velkit::flowpage
