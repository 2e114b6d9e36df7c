// Link targets written in a document at the top of the input folder: which
// of them point at files of the folder, and the link a page uses instead.
#pragma once
#include <string>
#include <string_view>

namespace velkit::flowpage {

enum class LinkKind {
    kElsewhere,  // a web address, an absolute path, an anchor on the page, ...
    kInside,     // a file inside the input folder
    kOutside,    // a relative path that climbs out of the input folder
};

struct LinkTarget {
    LinkKind kind = LinkKind::kElsewhere;
    std::string path;    // for kInside: relative to the input folder, decoded, "a/b.png"
    std::string suffix;  // "?query#fragment" as written, kept on the new link
};

LinkTarget link_target(std::string_view url);

// %XX escapes decoded (other bytes kept).
std::string percent_decode(std::string_view text);

// A relative path as a link: each part percent-encoded, joined by "/".
std::string link_to(std::string_view relative_path);

}  // namespace velkit::flowpage
