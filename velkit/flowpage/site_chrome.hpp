// What every page of the site gets around its content: a navigation column
// with the site's pages grouped by folder, previous/next links in reading
// order, a search box (shown only when scripts run), a viewport for phones
// and a dark colour scheme. The content itself is left as it is; every
// addition goes on the lines of <head>, <body> and </body>, so the lines
// of the page keep their numbers.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace velkit::flowpage {

// Where the site's own support files live, relative to its root.
inline constexpr const char* kSupportFolder = "_flowpage";
inline constexpr const char* kSearchScriptName = "_flowpage/search.js";
inline constexpr const char* kSearchIndexName = "_flowpage/search-index.js";

struct NavPage {
    std::string path;    // the page, relative to the site root (file-system bytes): "guide/setup.html"
    std::string title;   // shown text
    std::string folder;  // the source's folder relative to the input folder, shown form; "" at the top
    bool folder_page = false;  // the folder's index.md or README.md
};

struct SiteChrome {
    std::string site_title;      // the index title
    std::vector<NavPage> pages;  // in reading order, the index not among them
};

// `html` (a filled page or index template) with the navigation, the page
// turns, the search box and the extra styles put in. `current` is the
// page's path relative to the site root ("index.html" for the index).
std::string dress_page(std::string_view html, const SiteChrome& chrome, const std::string& current);

// The path from the page `current` back to the site root: "", "../", ...
std::string root_prefix(const std::string& current);

// A page's entry of the search index.
struct SearchEntry {
    std::string path;  // relative to the root (bytes)
    std::string title;
    std::vector<std::pair<std::string, std::string>> headings;  // text, id
    std::string text;
};

// The search index as a script that sets window.FLOWPAGE_SEARCH, so that
// it loads from the site's folder without any fetch.
std::string search_index_script(const std::vector<SearchEntry>& entries);

// The search box's script.
extern const char* const kSearchScript;

// Text as a JSON string literal with quotes; bytes that are not UTF-8 become
// U+FFFD, and "<" is escaped so the text never closes a script element.
std::string json_string(std::string_view text);

}  // namespace velkit::flowpage
