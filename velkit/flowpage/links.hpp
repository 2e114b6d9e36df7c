// Link targets written in a document of the input folder: which of them
// point at files of the tree, and the link a page uses instead.
#pragma once
#include <string>
#include <string_view>

namespace velkit::flowpage {

enum class LinkKind {
    kElsewhere,      // a web or mail address, a query, ...
    kSamePage,       // "#anchor" on the page itself
    kInside,         // a file or folder inside the input folder
    kOutside,        // a relative path that climbs out of the input folder
    kSiteAbsolute,   // "/config/x": means nothing in a site opened from its folder
    kLocalFile,      // "file:...": works on one computer only
};

struct LinkTarget {
    LinkKind kind = LinkKind::kElsewhere;
    std::string path;    // for kInside: relative to the input folder, decoded, "a/b.png"; "" for the folder itself
    std::string suffix;  // "?query#fragment" as written, kept on the new link
    bool folder = false; // for kInside: written with a final "/"
};

// `url` as written in a document in `from_folder` ("" for the top, "a/b").
LinkTarget link_target(std::string_view url, std::string_view from_folder = "");

// The fragment of a suffix, decoded: "?q#a%20b" -> "a b"; "" when none.
std::string fragment_of(std::string_view suffix);

// %XX escapes decoded (other bytes kept).
std::string percent_decode(std::string_view text);

// A relative path as a link: each part percent-encoded, joined by "/".
std::string link_to(std::string_view relative_path);

}  // namespace velkit::flowpage
