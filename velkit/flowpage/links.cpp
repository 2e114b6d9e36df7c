#include "links.hpp"

#include <vector>

#include "site.hpp"

namespace velkit::flowpage {

namespace {

bool has_scheme(std::string_view url) {
    for (size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (c == ':') return i > 0;
        if (!(letter || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))) return false;
    }
    return false;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string percent_decode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            int high = i + 1 < text.size() ? hex_value(text[i + 1]) : -1;
            int low = i + 2 < text.size() ? hex_value(text[i + 2]) : -1;
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

LinkTarget link_target(std::string_view url) {
    LinkTarget target;
    if (url.empty() || url[0] == '#' || url[0] == '/' || url[0] == '?' || has_scheme(url)) return target;
    size_t cut = url.find_first_of("?#");
    std::string_view path = url.substr(0, cut);
    if (cut != std::string_view::npos) target.suffix = std::string(url.substr(cut));
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        std::string part = percent_decode(path.substr(start, end - start));
        if (part == "..") {
            if (parts.empty()) {
                target.kind = LinkKind::kOutside;
                target.path = std::string(path);
                return target;
            }
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    if (parts.empty()) return target;
    for (const auto& part : parts) target.path += (target.path.empty() ? "" : "/") + part;
    target.kind = LinkKind::kInside;
    return target;
}

std::string link_to(std::string_view relative_path) {
    std::string out;
    size_t start = 0;
    while (true) {
        size_t end = relative_path.find('/', start);
        out += percent_encode(relative_path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        out += '/';
        start = end + 1;
    }
    return out;
}

}  // namespace velkit::flowpage
