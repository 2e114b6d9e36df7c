// Markdown to HTML through the markdown package: fenced code (also inside
// lists and quotations) with nesting, tables, highlighting with inline
// styles, and mermaid fences handed out as markers to be drawn later.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <functional>
#include <optional>
#include <string>

namespace velkit::flowpage {

// Receives a mermaid fence's text; returns the marker that stands for it.
using FenceSink = std::function<std::string(const std::string& source)>;

class MarkdownConverter {
public:
    // `markdown` is the imported markdown package.
    explicit MarkdownConverter(py::object markdown);
    // The fence formatter handed to Markdown refers to this object.
    MarkdownConverter(const MarkdownConverter&) = delete;
    MarkdownConverter& operator=(const MarkdownConverter&) = delete;

    // The HTML fragment of `text` (UTF-8); every mermaid fence goes to `sink`.
    std::string convert(const std::string& text, const FenceSink& sink);

private:
    py::object converter_;
    const FenceSink* sink_ = nullptr;
};

// The YAML front matter's "title" ("" when it has none); nothing when the
// block is not a YAML mapping (a rule and a heading, say). Raises the YAML
// error for a block that is not YAML.
std::optional<std::string> front_matter_title(const std::string& yaml);

}  // namespace velkit::flowpage
