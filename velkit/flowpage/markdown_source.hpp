// A Markdown document before it is converted: the byte-order mark dropped
// and its ```mermaid fences taken out, to be drawn and put back as SVG.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace velkit::flowpage {

// The text without a UTF-8 byte-order mark at its start.
std::string_view without_bom(std::string_view text);

struct MermaidFence {
    std::string source;  // the diagram text, ending in a line feed
    int line = 0;        // line of the opening fence, from 1
};

struct PreparedDocument {
    std::string text;  // each mermaid fence replaced by a paragraph of its own: fence_marker(token, i)
    std::vector<MermaidFence> fences;
};

// Fenced code blocks (``` or ~~~) whose info string's first word is
// "mermaid"; other fences, and whatever they hold, are left alone. A fence
// that is never closed is not a diagram.
PreparedDocument take_mermaid_fences(std::string_view text, std::string_view token);

// The word standing for fence `index` in the prepared text: plain letters
// and digits, so that Markdown leaves it as it is.
std::string fence_marker(std::string_view token, size_t index);

}  // namespace velkit::flowpage
