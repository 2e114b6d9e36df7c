// How the site is put together, without Python: names of the pages a
// source file becomes, the filled page and index texts, and the escaping
// that keeps file names and titles from turning into markup.
#pragma once
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "text_kit.hpp"

namespace velkit::flowpage {

// Fills a format template: "{name}" becomes values.at(name), "{{" and "}}"
// become single braces. Values are inserted as they are and never read as
// templates themselves. Throws std::invalid_argument for an unknown name or
// an unpaired brace.
std::string fill_template(std::string_view format, const std::map<std::string, std::string>& values);

// Text made safe inside HTML elements and quoted attributes.
std::string escape_html(std::string_view text);

// A file name as a relative link target: bytes other than letters, digits
// and "-._~" become %XX, so that "a b.html" links as "a%20b.html" and a
// name can never be read as a scheme ("x:y") or a path.
std::string percent_encode(std::string_view name);

// A document or diagram page: the title escaped, the body as it is.
std::string render_page(std::string_view title, std::string_view body);

// One index item linking to `page_name`, showing `title`.
std::string document_item(std::string_view page_name, std::string_view title);
std::string diagram_item(std::string_view page_name, std::string_view title);

// index.html: the heading, then the documentation and flow chart sections
// (a section without items is left out entirely).
std::string render_index(std::string_view index_title, const std::vector<std::string>& document_items,
                         const std::vector<std::string>& diagram_items);

// The items of one folder of the tree ("" for the top).
struct IndexGroup {
    std::string folder;  // shown form
    std::vector<std::string> items;
};

// The same with the items grouped by folder: the top folder's items first,
// then each sub-folder's under a heading of its own.
std::string render_index(std::string_view index_title, const std::vector<IndexGroup>& documents,
                         const std::vector<IndexGroup>& diagrams);

// True for a name whose lower-case form ends with `extension` (".md").
bool has_extension(std::string_view name, std::string_view extension);

// The name without its last extension: "a.b.md" -> "a.b", ".md" -> ".md".
std::string base_name_of(const std::string& file_name);

// Carriage-return-line-feed pairs and lone carriage returns become line
// feeds.
std::string normalize_line_ends(std::string_view text);

// Titles and names sort in the shared natural order ("2" before "10").
using ::velutil::natural_less;

// The page names handed out in one run. Two sources with the same base name
// (x.md and x.mmd, x.md and x.MD) would write the same page; the later one
// gets "x-2", "x-3", ... instead, so no page of the run is overwritten.
// "index.html" is taken from the start.
class PageNames {
public:
    PageNames();

    // The first free stem among base, base-2, base-3, ... for which every
    // one of `extensions` (".html", ".svg") is unused.
    std::string free_stem(const std::string& base, const std::vector<std::string>& extensions) const;

    // Marks stem + extension as written.
    void take(const std::string& stem, const std::vector<std::string>& extensions);

    // True when the run writes a file of this name.
    bool taken(const std::string& file_name) const { return taken_.count(file_name) != 0; }

private:
    bool is_free(const std::string& stem, const std::vector<std::string>& extensions) const;
    std::set<std::string> taken_;
};

}  // namespace velkit::flowpage
