#include "svg.hpp"

#include <charconv>
#include <cmath>

namespace velkit::flowpage {

namespace {

// The text of the first tag that opens the drawing ("<svg ...>").
std::string_view root_tag(std::string_view svg) {
    size_t start = svg.find("<svg");
    if (start == std::string_view::npos) return {};
    size_t end = svg.find('>', start);
    if (end == std::string_view::npos) return {};
    return svg.substr(start, end - start + 1);
}

std::string attribute(std::string_view tag, std::string_view name) {
    std::string key = " " + std::string(name) + "=\"";
    size_t at = tag.find(key);
    if (at == std::string_view::npos) return "";
    at += key.size();
    size_t end = tag.find('"', at);
    if (end == std::string_view::npos) return "";
    return std::string(tag.substr(at, end - at));
}

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// Locale-free parse of a leading number.
std::optional<double> leading_number(std::string_view text) {
    size_t start = text.find_first_not_of(" ,");
    if (start == std::string_view::npos) return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
    (void)end;
    return value;
}

}  // namespace

std::string error_drawing_message(std::string_view svg) {
    for (const char* message : {"Maximum text size in diagram exceeded", "Syntax error in text"}) {
        if (svg.find(message) != std::string_view::npos) return message;
    }
    if (attribute(root_tag(svg), "aria-roledescription") == "error") return "Syntax error in text";
    return "";
}

std::string svg_id(std::string_view svg) { return attribute(root_tag(svg), "id"); }

std::string with_svg_id(std::string_view svg, std::string_view new_id) {
    std::string old_id = svg_id(svg);
    if (old_id.empty()) return std::string(svg);
    std::string out;
    out.reserve(svg.size());
    size_t at = 0;
    while (true) {
        size_t found = svg.find(old_id, at);
        if (found == std::string_view::npos) break;
        size_t after = found + old_id.size();
        // The id and the names made from it ("my-svg_arrow", "my-svg-arrowhead"),
        // not a longer name that merely ends in it ("xmy-svg").
        bool starts = found == 0 || !is_name_char(svg[found - 1]);
        out.append(svg.substr(at, found - at));
        out.append(starts ? new_id : std::string_view(old_id));
        at = after;
    }
    out.append(svg.substr(at));
    return out;
}

std::optional<double> drawing_width(std::string_view svg) {
    std::string_view tag = root_tag(svg);
    std::string box = attribute(tag, "viewBox");
    std::string_view rest = box;
    for (int skip = 0; skip < 2 && !rest.empty(); ++skip) {
        size_t gap = rest.find_first_of(" ,", rest.find_first_not_of(" ,"));
        rest = gap == std::string_view::npos ? std::string_view() : rest.substr(gap);
    }
    if (auto width = leading_number(rest); width && *width > 0) return width;
    std::string width_text = attribute(tag, "width");
    if (width_text.find('%') != std::string::npos) return std::nullopt;
    if (auto width = leading_number(width_text); width && *width > 0) return width;
    return std::nullopt;
}

std::string embed_drawing(std::string_view svg) {
    std::string inner = "<div>";
    if (auto width = drawing_width(svg)) {
        char digits[32];
        // Down to three quarters of its size a drawing still reads well;
        // below that the frame scrolls instead.
        auto result = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(std::ceil(*width * 0.75)));
        inner = "<div style=\"min-width: " + std::string(digits, result.ptr) + "px;\">";
    }
    return "<div class=\"diagram\" style=\"overflow-x: auto;\">" + inner + std::string(svg) + "</div></div>";
}

}  // namespace velkit::flowpage
