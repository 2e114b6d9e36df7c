#include "markdown_source.hpp"

namespace velkit::flowpage {

std::string_view without_bom(std::string_view text) {
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

std::string fence_marker(std::string_view token, size_t index) {
    return std::string(token) + std::to_string(index) + "Z";
}

}  // namespace velkit::flowpage
