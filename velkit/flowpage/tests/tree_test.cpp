#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "front_matter.hpp"
#include "links.hpp"
#include "page_html.hpp"
#include "site.hpp"
#include "site_chrome.hpp"
#include "source_tree.hpp"

using namespace velkit::flowpage;

TEST(TreeLinks, RelativePathsBetweenPagesOfTheTree) {
    struct Case {
        const char* from;
        const char* to;
        const char* link;
    };
    for (const Case& c : {
             Case{"a.html", "b.html", "b.html"},
             Case{"a.html", "guide/b.html", "guide/b.html"},
             Case{"guide/a.html", "b.html", "../b.html"},
             Case{"guide/deep/a.html", "guide/b.html", "../b.html"},
             Case{"guide/a.html", "guide/deep/b.html", "deep/b.html"},
             Case{"guide/a.html", "api/x/b.html", "../api/x/b.html"},
             Case{"guidebook/a.html", "guide/b.html", "../guide/b.html"},
             Case{"x/y/z.html", "index.html", "../../index.html"},
         }) {
        EXPECT_EQ(relative_link_path(c.from, c.to), c.link) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(folder_of("a/b/c.md"), "a/b");
    EXPECT_EQ(folder_of("c.md"), "");
    EXPECT_EQ(root_prefix("a/b/c.html"), "../../");
}

TEST(TreeLinks, TargetsResolvedFromTheDocumentsFolder) {
    struct Case {
        const char* url;
        const char* from;
        LinkKind kind;
        const char* path;
        bool folder;
    };
    for (const Case& c : {
             Case{"../config/x.md#k", "guide", LinkKind::kInside, "config/x.md", false},
             Case{"deep/", "guide", LinkKind::kInside, "guide/deep", true},
             Case{"..", "guide", LinkKind::kInside, "", true},
             Case{"../..", "guide", LinkKind::kOutside, "", false},
             Case{"/config/x", "guide", LinkKind::kSiteAbsolute, "", false},
             Case{"FILE:///etc/passwd", "", LinkKind::kLocalFile, "", false},
             Case{"//cdn.example.org/x.js", "", LinkKind::kElsewhere, "", false},
             Case{"MailTo:a@b.c", "", LinkKind::kElsewhere, "", false},
             Case{"#no-such", "guide", LinkKind::kSamePage, "", false},
         }) {
        LinkTarget target = link_target(c.url, c.from);
        EXPECT_EQ(target.kind, c.kind) << c.url;
        if (c.kind == LinkKind::kInside) {
            EXPECT_EQ(target.path, c.path) << c.url;
            EXPECT_EQ(target.folder, c.folder) << c.url;
        }
    }
    EXPECT_EQ(fragment_of("?q=1#%C3%BCber-uns"), "\xC3\xBC" "ber-uns");
    EXPECT_EQ(fragment_of("?q=1"), "");
}

TEST(TreeLinks, EmailAutolinksAreReadAsMailto) {
    // Markdown hides the address of <a@b.c> behind numeric references.
    std::string html = "<a href=\"&#109;&#x61;ilto:&#97;@b.c\">x</a>";
    std::vector<std::string> seen;
    rewrite_urls(html, [&](const std::string& url) -> std::optional<std::string> {
        seen.push_back(url);
        return std::nullopt;
    });
    EXPECT_EQ(seen, std::vector<std::string>{"mailto:a@b.c"});
    EXPECT_EQ(link_target(seen[0]).kind, LinkKind::kElsewhere);
}

TEST(TreeLinks, DrawingLinksAndAnchorsOfAPage) {
    std::string svg = "<svg><a xlink:href=\"b.md\"><g/></a><a data-href=\"no.md\"/></svg>";
    std::string out = rewrite_urls(svg, [](const std::string& url) -> std::optional<std::string> {
        return url == "b.md" ? std::optional<std::string>("b.html") : std::nullopt;
    });
    EXPECT_EQ(out, "<svg><a xlink:href=\"b.html\"><g/></a><a data-href=\"no.md\"/></svg>");
    std::set<std::string> ids = element_ids("<h2 id=\"a&amp;b\">x</h2><a name=\"old\"></a><p class=\"id\">");
    EXPECT_EQ(ids, (std::set<std::string>{"a&b", "old"}));
}

TEST(HeadingSlugs, LowerCaseInEveryScript) {
    struct Case {
        const char* heading;
        const char* slug;
    };
    for (const Case& c : {
             Case{"\xC3\x9C" "ber uns", "\xC3\xBC" "ber-uns"},                    // Über uns
             Case{"\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1", "\xCE\xB1\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1"},  // Αθήνα
             Case{"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0!", "\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"},  // Москва!
             Case{"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xE3\x80\x8C\xE5\x85\xA5\xE9\x96\x80\xE3\x80\x8D", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-\xE5\x85\xA5\xE9\x96\x80"},  // 日本語 「入門」
             Case{"Rocket \xF0\x9F\x9A\x80 launch", "rocket--launch"},
             Case{"bad \xFF byte", "bad--byte"},
         }) {
        EXPECT_EQ(heading_slug(c.heading), c.slug) << c.heading;
    }
    std::vector<std::pair<std::string, std::string>> expected{{"A & B", "a--b"}, {"C", "c"}};
    EXPECT_EQ(heading_list(add_heading_ids("<h1>A &amp; B</h1><p>x</p><h3>C</h3>")), expected);
}

TEST(FrontMatterBlock, HiddenWithLinesKept) {
    FrontMatter front = split_front_matter("---\ntitle: T\ntags: [a]\n---\n# Body\n");
    EXPECT_TRUE(front.found);
    EXPECT_EQ(front.yaml, "title: T\ntags: [a]\n");
    EXPECT_EQ(front.body, "\n\n\n\n# Body\n") << "the body keeps its line numbers";
    EXPECT_TRUE(split_front_matter("---\ntitle: T\n...\n").found);
    EXPECT_FALSE(split_front_matter("# T\n---\nx: y\n---\n").found) << "only at the very top";
    FrontMatter unclosed = split_front_matter("---\nA rule, then text\n");
    EXPECT_FALSE(unclosed.found);
    EXPECT_EQ(unclosed.body, "---\nA rule, then text\n");
}

TEST(SiteChrome, NavigationAroundAnUnchangedPage) {
    SiteChrome chrome{"Docs & more", {{"README.html", "Read me", "", false},
                                      {"guide/README.html", "Guide", "guide", true},
                                      {"guide/setup.html", "Set <up>", "guide", false}}};
    std::string page = render_page("Set <up>", "<p>body</p>");
    std::string out = dress_page(page, chrome, "guide/setup.html");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), std::count(page.begin(), page.end(), '\n'))
        << "additions stay on existing lines";
    EXPECT_NE(out.find("<a href=\"../index.html\" class=\"back-btn\">\u2190 Back to Index</a>"), std::string::npos);
    EXPECT_NE(out.find("<a href=\"setup.html\" aria-current=\"page\">Set &lt;up&gt;</a>"), std::string::npos);
    EXPECT_NE(out.find("<a href=\"../README.html\">Read me</a>"), std::string::npos);
    EXPECT_NE(out.find("<p class=\"nav-folder\">guide/</p>"), std::string::npos);
    EXPECT_NE(out.find("rel=\"prev\" href=\"README.html\">\u2190 Guide</a>"), std::string::npos);
    EXPECT_EQ(out.find("rel=\"next\""), std::string::npos) << "the last page has no next";
    EXPECT_NE(out.find("src=\"../_flowpage/search.js\" defer"), std::string::npos);
    EXPECT_NE(out.find("<meta name=\"viewport\""), std::string::npos);
    EXPECT_NE(out.find("<div class=\"content\">\n        <p>body</p>\n    </div>"), std::string::npos);
    std::string index = dress_page(render_index("Docs", std::vector<IndexGroup>{}, std::vector<IndexGroup>{}), chrome, "index.html");
    EXPECT_NE(index.find("rel=\"next\" href=\"README.html\">Read me \u2192</a>"), std::string::npos);
    EXPECT_EQ(index.find("rel=\"prev\""), std::string::npos);
}

TEST(SiteChrome, IndexGroupsByFolder) {
    std::string index = render_index("T", std::vector<IndexGroup>{{"", {document_item("a.html", "A")}},
                                                                  {"guide/x y", {document_item("guide/x y/b.html", "B")}}},
                                     std::vector<IndexGroup>{});
    EXPECT_NE(index.find("<h3>Documentation</h3><ul><li><a href=\"a.html\">"), std::string::npos);
    EXPECT_NE(index.find("guide/x y/</h4><ul><li><a href=\"guide/x%20y/b.html\">"), std::string::npos);
}

TEST(SearchIndex, JsonThatNoTextCanBreak) {
    EXPECT_EQ(json_string("a\"b\\c\n</script>\xC3\xA9\xFF"), "\"a\\\"b\\\\c\\u000a\\u003c/script>\xC3\xA9\xEF\xBF\xBD\"");
    std::string script = search_index_script({{"guide/a b.html", "T", {{"H", "h"}}, "text"}});
    EXPECT_EQ(script, "window.FLOWPAGE_SEARCH = [\n{\"u\": \"guide/a%20b.html\", \"t\": \"T\", \"h\": [[\"H\", \"h\"]], "
                      "\"x\": \"text\"}\n];\n");
}
