// Finishing the HTML that Markdown made of a document: ids on headings so
// that in-page anchors work, link targets rewritten, drawings put in place
// of their fence markers, and the first heading as a title.
#pragma once
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velkit::flowpage {

// GitHub-style anchor of a heading text: letters of every script in lower
// case, digits, "-" and "_" kept, blanks made "-", punctuation and symbols
// dropped ("Über uns!" -> "über-uns").
std::string heading_slug(std::string_view text);

// Every <h1>...<h6> without attributes gets id="slug"; a slug met before on
// the page gets "-1", "-2", ... as GitHub does.
std::string add_heading_ids(std::string_view html);

// The text of the first level-1 heading (tags removed, entities decoded),
// "" when there is none.
std::string first_heading_text(std::string_view html);

// Every heading that has an id, as (text, id), in page order.
std::vector<std::pair<std::string, std::string>> heading_list(std::string_view html);

// The text of HTML: tags removed, the common entities decoded.
std::string html_text(std::string_view html);

// Link targets of <a href> (also xlink:href, as in drawings) and <img src>: `change` receives each value
// (entities decoded) and returns the new one, or nothing to keep it.
using UrlChange = std::function<std::optional<std::string>(const std::string& url)>;
std::string rewrite_urls(std::string_view html, const UrlChange& change);

// The values of the id and name attributes of the HTML, decoded: the
// anchors a link can aim at.
std::set<std::string> element_ids(std::string_view html);

// Each fence marker (a paragraph of its own, or a word elsewhere) replaced
// by its HTML.
std::string put_in_place(std::string_view html, std::string_view token, const std::vector<std::string>& parts);

// How a mermaid fence that was not drawn is shown: as the code it is.
std::string fence_as_code(std::string_view source);

}  // namespace velkit::flowpage
