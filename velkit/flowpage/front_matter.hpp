// YAML front matter: a block between "---" lines at the very top of a
// document, read by the site generator and never shown on the page.
#pragma once
#include <string>
#include <string_view>

namespace velkit::flowpage {

struct FrontMatter {
    bool found = false;
    std::string yaml;  // the text between the two lines
    std::string body;  // the document with the block replaced by as many empty lines
};

// `text` has line feeds only. The block opens with "---" on the first line
// and closes with "---" or "..." on a line of its own.
FrontMatter split_front_matter(std::string_view text);

}  // namespace velkit::flowpage
