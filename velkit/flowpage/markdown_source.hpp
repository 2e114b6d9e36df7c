// A Markdown document before it is converted: the byte-order mark dropped,
// and the markers that stand for its mermaid fences until they are drawn.
#pragma once
#include <string>
#include <string_view>

namespace velkit::flowpage {

// The text without a UTF-8 byte-order mark at its start.
std::string_view without_bom(std::string_view text);

// The word standing for fence `index` of a document: plain letters and
// digits, so that Markdown leaves it as it is.
std::string fence_marker(std::string_view token, size_t index);

}  // namespace velkit::flowpage
