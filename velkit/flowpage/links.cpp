#include "links.hpp"

#include <vector>

#include "paths.hpp"
#include "site.hpp"
#include "text_kit.hpp"

namespace velkit::flowpage {

namespace {

// The scheme in lower case ("mailto"), "" when the url has none.
std::string scheme_of(std::string_view url) {
    for (size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (c == ':') return i > 0 ? ::velutil::ascii_lower(std::string(url.substr(0, i))) : "";
        if (!(letter || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))) return "";
    }
    return "";
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

std::string fragment_of(std::string_view suffix) {
    size_t hash = suffix.find('#');
    return hash == std::string_view::npos ? std::string() : percent_decode(suffix.substr(hash + 1));
}

LinkTarget link_target(std::string_view url, std::string_view from_folder) {
    LinkTarget target;
    if (url.empty() || url[0] == '?') return target;
    if (url[0] == '#') {
        target.kind = LinkKind::kSamePage;
        target.suffix = std::string(url);
        return target;
    }
    std::string scheme = scheme_of(url);
    if (scheme == "file") target.kind = LinkKind::kLocalFile;
    if (!scheme.empty() || url.substr(0, 2) == "//") return target;
    if (url[0] == '/') {
        target.kind = LinkKind::kSiteAbsolute;
        return target;
    }
    size_t cut = url.find_first_of("?#");
    std::string_view path = url.substr(0, cut);
    if (cut != std::string_view::npos) target.suffix = std::string(url.substr(cut));
    target.folder = !path.empty() && path.back() == '/';
    std::vector<std::string> parts;
    for (std::string_view part : ::velutil::split_on(from_folder, '/')) parts.emplace_back(part);
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
    if (path.empty()) return target;  // "?query" on the page itself
    if (!path.empty() && (path == "." || path == ".." || path.substr(path.size() > 1 ? path.size() - 2 : 0) == "/." ||
                          path.substr(path.size() > 2 ? path.size() - 3 : 0) == "/.."))
        target.folder = true;
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
