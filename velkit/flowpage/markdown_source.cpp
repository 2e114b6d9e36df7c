#include "markdown_source.hpp"

namespace velkit::flowpage {

namespace {

struct FenceOpening {
    char mark = 0;
    size_t length = 0;
    size_t indent = 0;
    std::string info;
};

std::string trim(std::string_view text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return std::string(text.substr(start, end - start + 1));
}

// A line that opens a fence: up to three spaces, then three or more
// backticks or tildes, then the info string.
bool is_opening(std::string_view line, FenceOpening& fence) {
    size_t indent = 0;
    while (indent < line.size() && line[indent] == ' ') ++indent;
    if (indent > 3 || indent >= line.size()) return false;
    char mark = line[indent];
    if (mark != '`' && mark != '~') return false;
    size_t length = 0;
    while (indent + length < line.size() && line[indent + length] == mark) ++length;
    if (length < 3) return false;
    std::string info = trim(line.substr(indent + length));
    if (mark == '`' && info.find('`') != std::string::npos) return false;
    fence = {mark, length, indent, info};
    return true;
}

bool is_closing(std::string_view line, const FenceOpening& fence) {
    size_t indent = 0;
    while (indent < line.size() && line[indent] == ' ') ++indent;
    if (indent > 3) return false;
    size_t length = 0;
    while (indent + length < line.size() && line[indent + length] == fence.mark) ++length;
    return length >= fence.length && trim(line.substr(indent + length)).empty();
}

bool is_mermaid(const std::string& info) {
    size_t end = info.find_first_of(" \t{");
    return info.substr(0, end) == "mermaid";
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::string_view without_bom(std::string_view text) {
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

std::string fence_marker(std::string_view token, size_t index) {
    return std::string(token) + std::to_string(index) + "Z";
}

PreparedDocument take_mermaid_fences(std::string_view text, std::string_view token) {
    PreparedDocument out;
    std::vector<std::string_view> lines = split_lines(text);
    size_t i = 0;
    while (i < lines.size()) {
        FenceOpening fence;
        if (!is_opening(lines[i], fence)) {
            out.text.append(lines[i]).append("\n");
            ++i;
            continue;
        }
        size_t close = i + 1;
        while (close < lines.size() && !is_closing(lines[close], fence)) ++close;
        bool closed = close < lines.size();
        size_t last = closed ? close : lines.size() - 1;
        if (!closed || !is_mermaid(fence.info)) {
            for (size_t k = i; k <= last; ++k) out.text.append(lines[k]).append("\n");
            i = last + 1;
            continue;
        }
        MermaidFence diagram;
        diagram.line = static_cast<int>(i + 1);
        for (size_t k = i + 1; k < close; ++k) {
            std::string_view body = lines[k];
            size_t strip = 0;
            while (strip < fence.indent && strip < body.size() && body[strip] == ' ') ++strip;
            diagram.source.append(body.substr(strip)).append("\n");
        }
        out.text += "\n" + fence_marker(token, out.fences.size()) + "\n\n";
        out.fences.push_back(std::move(diagram));
        i = close + 1;
    }
    return out;
}

}  // namespace velkit::flowpage
