#include "site_chrome.hpp"

#include <algorithm>
#include <cstdio>

#include "links.hpp"
#include "site.hpp"
#include "source_tree.hpp"
#include "text_kit.hpp"

namespace velkit::flowpage {

namespace {

// Added after the page's own style sheet, so these rules win where both
// speak. The column layout gives way to one column on narrow screens.
constexpr const char* kChromeStyle = R"css(
body { max-width: 1220px; }
.site { display: flex; align-items: flex-start; gap: 40px; }
.site-main { flex: 1 1 auto; min-width: 0; max-width: 900px; }
.site-nav { flex: 0 0 240px; position: sticky; top: 16px; max-height: calc(100vh - 32px); overflow-y: auto; font-size: 14px; line-height: 1.5; }
.site-nav ul { list-style: none; padding: 0; margin: 0 0 12px 0; }
.site-nav li { margin: 0; padding: 2px 0 2px 8px; border: none; border-radius: 0; }
.site-nav li:hover { background: none; }
.site-nav a { display: inline; color: inherit; text-decoration: none; }
.site-nav a:hover { text-decoration: underline; }
.site-nav a[aria-current="page"] { font-weight: 600; }
.site-nav li:has(> a[aria-current="page"]) { border-left: 3px solid #2f80ed; padding-left: 5px; }
.site-nav .nav-home { display: block; font-weight: 600; margin-bottom: 10px; }
.site-nav .nav-folder { margin: 10px 0 4px 0; font-weight: 600; color: #787774; }
.site-search input { width: 100%; box-sizing: border-box; padding: 6px 8px; margin-bottom: 8px; border: 1px solid #d3d1cb; border-radius: 4px; font: inherit; background: inherit; color: inherit; }
.site-search ol { list-style: none; padding: 0; margin: 0 0 12px 0; }
.site-search li { padding: 4px 0; border: none; margin: 0; }
.site-search .search-where { display: block; font-size: 12px; color: #787774; }
.page-turn { display: flex; justify-content: space-between; gap: 16px; margin: 24px 0; }
.page-turn a { text-decoration: none; color: inherit; border: 1px solid #edece9; border-radius: 4px; padding: 8px 14px; display: inline-block; }
.page-turn .next { margin-left: auto; text-align: right; }
.content img { max-width: 100%; height: auto; }
.diagram { background: #ffffff; border-radius: 4px; }
@media (max-width: 760px) {
  body { padding: 16px 12px; }
  .site { display: block; }
  .site-nav { position: static; max-height: none; border-bottom: 1px solid #edece9; margin-bottom: 16px; }
}
@media (prefers-color-scheme: dark) {
  body { background: #191919; color: #e6e5e3; }
  a, .back-btn, .page-turn a { color: #e6e5e3; }
  header, footer, h2, h3, .content h2, .content th, .content td, .page-turn a { border-color: #3a3a3a; }
  .back-btn { background: #252525; border-color: #3a3a3a; }
  .back-btn:hover, li:hover { background: #2c2c2c; }
  li { border-color: #3a3a3a; }
  h3, .site-nav .nav-folder, .site-search .search-where { color: #9b9a97; }
  .content a:hover { text-decoration-color: #e6e5e3; }
  .content code { background: rgba(255, 255, 255, 0.1); color: #ff8a80; }
  .content blockquote { border-color: #9b9a97; color: #b5b4b1; }
  .content th { background: #252525; }
  .content pre { background: #f7f6f3; color: #37352f; }
  .content pre code { color: #37352f; background: transparent; }
  .diagram { padding: 8px; }
  .site-search input { border-color: #3a3a3a; }
  .site-nav li:has(> a[aria-current="page"]) { border-left-color: #6ea8fe; }
}
)css";

std::string href(const std::string& current, const std::string& target) {
    return escape_html(link_to(relative_link_path(current, target)));
}

std::string nav_column(const SiteChrome& chrome, const std::string& current) {
    std::string root = root_prefix(current);
    std::string out = "<nav class=\"site-nav\" aria-label=\"Pages of this site\">";
    out += "<div class=\"site-search\" role=\"search\" hidden data-root=\"" + escape_html(root) +
           "\"><input type=\"search\" placeholder=\"Search\" aria-label=\"Search this site\"><ol></ol></div>";
    out += "<a class=\"nav-home\" href=\"" + escape_html(root) + "index.html\"" +
           (current == "index.html" ? " aria-current=\"page\"" : "") + ">" + escape_html(chrome.site_title) + "</a>";
    bool open = false;
    std::string folder;
    for (size_t i = 0; i < chrome.pages.size(); ++i) {
        const NavPage& page = chrome.pages[i];
        if (!open || page.folder != folder) {
            if (open) out += "</ul>";
            if (!page.folder.empty()) out += "<p class=\"nav-folder\">" + escape_html(page.folder) + "/</p>";
            out += "<ul>";
            open = true;
            folder = page.folder;
        }
        out += "<li><a href=\"" + href(current, page.path) + "\"" +
               (page.path == current ? " aria-current=\"page\"" : "") + ">" + escape_html(page.title) + "</a></li>";
    }
    if (open) out += "</ul>";
    return out + "</nav>";
}

std::string page_turns(const SiteChrome& chrome, const std::string& current) {
    // Reading order: the index, then every page.
    std::vector<std::pair<std::string, std::string>> order{{"index.html", chrome.site_title}};
    for (const auto& page : chrome.pages) order.emplace_back(page.path, page.title);
    size_t at = 0;
    while (at < order.size() && order[at].first != current) ++at;
    if (at == order.size()) return "";
    std::string out = "<nav class=\"page-turn\" aria-label=\"Previous and next page\">";
    if (at > 0) {
        out += "<a class=\"prev\" rel=\"prev\" href=\"" + href(current, order[at - 1].first) + "\">\u2190 " +
               escape_html(order[at - 1].second) + "</a>";
    }
    if (at + 1 < order.size()) {
        out += "<a class=\"next\" rel=\"next\" href=\"" + href(current, order[at + 1].first) + "\">" +
               escape_html(order[at + 1].second) + " \u2192</a>";
    }
    return out + "</nav>";
}

void replace_first(std::string& text, std::string_view what, const std::string& with) {
    size_t at = text.find(what);
    if (at != std::string::npos) text.replace(at, what.size(), with);
}

void replace_last(std::string& text, std::string_view what, const std::string& with) {
    size_t at = text.rfind(what);
    if (at != std::string::npos) text.replace(at, what.size(), with);
}

}  // namespace

std::string root_prefix(const std::string& current) {
    std::string prefix;
    for (char c : current) {
        if (c == '/') prefix += "../";
    }
    return prefix;
}

std::string dress_page(std::string_view html, const SiteChrome& chrome, const std::string& current) {
    std::string out(html);
    std::string root = escape_html(root_prefix(current));
    // The templates' own links back to the index, from a page in a sub-folder.
    if (!root.empty()) {
        std::string from = "<a href=\"index.html\" class=\"back-btn\">";
        std::string to = "<a href=\"" + root + "index.html\" class=\"back-btn\">";
        for (size_t at = out.find(from); at != std::string::npos; at = out.find(from, at + to.size()))
            out.replace(at, from.size(), to);
    }
    // One line, so that the page's own lines keep their numbers.
    std::string style = kChromeStyle;
    std::replace(style.begin(), style.end(), '\n', ' ');
    std::string head = "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<meta name=\"color-scheme\" content=\"light dark\"><style>" + style + "</style>"
                       "<script src=\"" + root + kSearchIndexName + "\" defer></script>"
                       "<script src=\"" + root + kSearchScriptName + "\" defer></script></head>";
    replace_first(out, "</head>", head);
    replace_first(out, "<body>", "<body><div class=\"site\">" + nav_column(chrome, current) + "<div class=\"site-main\">");
    replace_last(out, "</body>", page_turns(chrome, current) + "</div></div></body>");
    return out;
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            char c = static_cast<char>(byte);
            if (c == '"') out += "\\\"";
            else if (c == '\\') out += "\\\\";
            else if (c == '<') out += "\\u003c";
            else if (byte < 0x20) {
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", byte);
                out += code;
            } else {
                out += c;
            }
            ++at;
            continue;
        }
        ::velutil::Utf8Unit unit = ::velutil::decode_utf8(text, at);
        if (unit.valid) out.append(text.substr(at, unit.length));
        else out += "\uFFFD";
        at += unit.length;
    }
    return out + "\"";
}

std::string search_index_script(const std::vector<SearchEntry>& entries) {
    std::string out = "window.FLOWPAGE_SEARCH = [\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        const SearchEntry& entry = entries[i];
        out += "{\"u\": " + json_string(link_to(entry.path)) + ", \"t\": " + json_string(entry.title) + ", \"h\": [";
        for (size_t h = 0; h < entry.headings.size(); ++h) {
            out += (h ? ", [" : "[") + json_string(entry.headings[h].first) + ", " +
                   json_string(link_to(entry.headings[h].second)) + "]";
        }
        out += "], \"x\": " + json_string(entry.text) + "}" + (i + 1 < entries.size() ? ",\n" : "\n");
    }
    return out + "];\n";
}

const char* const kSearchScript = R"js(// The site's search box: every word typed must occur in a page's title,
// headings or text; title hits rank first, then headings, then text.
(function () {
  "use strict";
  var box = document.querySelector(".site-search");
  var pages = window.FLOWPAGE_SEARCH;
  if (!box || !pages) return;
  var root = box.getAttribute("data-root") || "";
  var input = box.querySelector("input");
  var list = box.querySelector("ol");
  box.hidden = false;
  var lowered = pages.map(function (page) {
    return {
      page: page,
      title: page.t.toLowerCase(),
      headings: page.h.map(function (h) { return h[0].toLowerCase(); }),
      text: page.x.toLowerCase()
    };
  });
  function item(text, href, where) {
    var li = document.createElement("li");
    var a = document.createElement("a");
    a.href = href;
    a.textContent = text;
    li.appendChild(a);
    if (where) {
      var note = document.createElement("span");
      note.className = "search-where";
      note.textContent = where;
      li.appendChild(note);
    }
    return li;
  }
  function snippet(text, word) {
    var at = text.toLowerCase().indexOf(word);
    if (at < 0) return "";
    var start = Math.max(0, at - 40);
    return (start > 0 ? "\u2026" : "") + text.substr(start, 100) + (start + 100 < text.length ? "\u2026" : "");
  }
  function search() {
    var words = input.value.toLowerCase().split(/\s+/).filter(Boolean);
    list.textContent = "";
    if (!words.length) return;
    var hits = [];
    lowered.forEach(function (entry) {
      var score = 0, heading = -1;
      for (var i = 0; i < words.length; i++) {
        var word = words[i], found = 0;
        if (entry.title.indexOf(word) >= 0) found += 10;
        for (var h = 0; h < entry.headings.length; h++) {
          if (entry.headings[h].indexOf(word) >= 0) {
            found += 4;
            if (heading < 0) heading = h;
            break;
          }
        }
        if (entry.text.indexOf(word) >= 0) found += 1;
        if (!found) return;
        score += found;
      }
      hits.push({ entry: entry, score: score, heading: heading });
    });
    hits.sort(function (a, b) { return b.score - a.score; });
    hits.slice(0, 20).forEach(function (hit) {
      var page = hit.entry.page, href = root + page.u, where = snippet(page.x, words[0]);
      if (hit.heading >= 0 && hit.entry.title.indexOf(words[0]) < 0) {
        href += "#" + page.h[hit.heading][1];
        where = page.h[hit.heading][0];
      }
      list.appendChild(item(page.t, href, where));
    });
    if (!hits.length) {
      var none = document.createElement("li");
      none.textContent = "No page matches.";
      list.appendChild(none);
    }
  }
  input.addEventListener("input", search);
})();
)js";

}  // namespace velkit::flowpage
