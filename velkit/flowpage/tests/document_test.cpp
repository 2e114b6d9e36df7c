#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <fstream>

#include "digest.hpp"
#include "links.hpp"
#include "manifest.hpp"
#include "markdown_source.hpp"
#include "page_html.hpp"
#include "site.hpp"
#include "svg.hpp"

using namespace velkit::flowpage;

TEST(PageHtml, DrawingsReplaceTheirMarkersOrShowAsCode) {
    std::string html = "<p>a</p>\n<p>tok0Z</p>\n<li>tok1Z</li>";
    EXPECT_EQ(put_in_place(html, "tok", {"<svg/>", fence_as_code("a-->b & <c>")}),
              "<p>a</p>\n<svg/>\n<li><pre><code class=\"language-mermaid\">a--&gt;b &amp; &lt;c&gt;</code></pre></li>");
}

TEST(PageHtml, HeadingIdsAreGithubSlugsAndUnique) {
    EXPECT_EQ(heading_slug("Hello, World! 2.0 (beta)_x"), "hello-world-20-beta_x");
    EXPECT_EQ(heading_slug("Caf\xC3\xA9 au lait"), "caf\xC3\xA9-au-lait");
    std::string html = add_heading_ids("<h1>Setup</h1>\n<h2>A &amp; <code>B</code></h2>\n<h2>Setup</h2><h3 id=\"k\">x</h3><hr>");
    EXPECT_EQ(html, "<h1 id=\"setup\">Setup</h1>\n<h2 id=\"a--b\">A &amp; <code>B</code></h2>\n"
                    "<h2 id=\"setup-1\">Setup</h2><h3 id=\"k\">x</h3><hr>");
    EXPECT_EQ(first_heading_text("<p>x</p><h2>no</h2><h1 id=\"a\"> Q &amp; <em>A</em> </h1>"), "Q & A");
    EXPECT_EQ(first_heading_text("<h2>only</h2>"), "");
}

TEST(PageHtml, LinkTargetsOfAnchorsAndImagesOnly) {
    std::string html = "<p><a href=\"b.md#x\">b</a> <img alt=\"p\" src=\"img/p.png\" /> "
                       "<a title=\"href=&quot;q&quot;\" href=\"a&amp;b.md\">q</a> <code>&lt;a href=\"c.md\"&gt;</code></p>";
    std::vector<std::string> seen;
    std::string out = rewrite_urls(html, [&](const std::string& url) -> std::optional<std::string> {
        seen.push_back(url);
        if (url == "img/p.png") return std::nullopt;
        return "new/" + url;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"b.md#x", "img/p.png", "a&b.md"}));
    EXPECT_NE(out.find("<a href=\"new/b.md#x\">"), std::string::npos);
    EXPECT_NE(out.find("src=\"img/p.png\""), std::string::npos);
    EXPECT_NE(out.find("href=\"new/a&amp;b.md\""), std::string::npos);
    EXPECT_NE(out.find("&lt;a href=\"c.md\"&gt;"), std::string::npos);
}

TEST(Links, WhichTargetsAreFilesOfTheFolder) {
    struct Case {
        const char* url;
        LinkKind kind;
        const char* path;
        const char* suffix;
    };
    for (const Case& c : {
             Case{"b.md#x", LinkKind::kInside, "b.md", "#x"},
             Case{"./img/../img/my%20p.png?v=2", LinkKind::kInside, "img/my p.png", "?v=2"},
             Case{"../secret.png", LinkKind::kOutside, "", ""},
             Case{"a/../../x", LinkKind::kOutside, "", ""},
             Case{"https://example.org/a.md", LinkKind::kElsewhere, "", ""},
             Case{"mailto:x@y", LinkKind::kElsewhere, "", ""},
             Case{"/etc/passwd", LinkKind::kSiteAbsolute, "", ""},
             Case{"#section", LinkKind::kSamePage, "", ""},
             Case{"", LinkKind::kElsewhere, "", ""},
         }) {
        LinkTarget target = link_target(c.url);
        EXPECT_EQ(target.kind, c.kind) << c.url;
        if (c.kind == LinkKind::kInside) {
            EXPECT_EQ(target.path, c.path) << c.url;
            EXPECT_EQ(target.suffix, c.suffix) << c.url;
        }
    }
    EXPECT_EQ(link_to("img/my p\xFF.png"), "img/my%20p%FF.png");
}

TEST(Svg, IdsRenamedWhereTheyAreUsed) {
    std::string svg = "<svg id=\"my-svg\" viewBox=\"0 0 1234.5 70\" width=\"100%\"><style>#my-svg .a{}</style>"
                      "<marker id=\"my-svg_arrow\"/><path marker-end=\"url(#my-svg_arrow)\"/><g id=\"my-svg-head\"/>"
                      "<g class=\"xmy-svg\"/></svg>";
    std::string renamed = with_svg_id(svg, "d2");
    EXPECT_EQ(svg_id(renamed), "d2");
    EXPECT_NE(renamed.find("#d2 .a{}"), std::string::npos);
    EXPECT_NE(renamed.find("id=\"d2_arrow\""), std::string::npos);
    EXPECT_NE(renamed.find("url(#d2_arrow)"), std::string::npos);
    EXPECT_NE(renamed.find("id=\"d2-head\""), std::string::npos);
    EXPECT_NE(renamed.find("xmy-svg"), std::string::npos);
    EXPECT_EQ(drawing_width(svg), 1234.5);
    EXPECT_NE(embed_drawing(svg).find("overflow-x: auto;\"><div style=\"min-width: 926px;\">"), std::string::npos);
    EXPECT_EQ(drawing_width("<svg width=\"300\">"), 300.0);
    EXPECT_FALSE(drawing_width("<svg width=\"100%\">"));
}

TEST(Svg, WidthsIgnoreTheLocale) {
    // A caller that chose a comma-decimal locale must not change the numbers.
    const char* former = std::setlocale(LC_ALL, nullptr);
    std::string saved = former != nullptr ? former : "C";
    bool comma_locale = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    std::string svg = "<svg viewBox=\"0 0 1234.5 70\">";
    EXPECT_EQ(drawing_width(svg), 1234.5);
    EXPECT_NE(embed_drawing(svg).find("min-width: 926px;"), std::string::npos);
    std::setlocale(LC_ALL, saved.c_str());
    if (!comma_locale) GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine";
}

TEST(Svg, ErrorPicturesAreRecognised) {
    EXPECT_EQ(error_drawing_message("<svg aria-roledescription=\"error\"><text>Syntax error in text</text></svg>"),
              "Syntax error in text");
    EXPECT_EQ(error_drawing_message("<svg><text>Maximum text size in diagram exceeded</text></svg>"),
              "Maximum text size in diagram exceeded");
    EXPECT_EQ(error_drawing_message("<svg aria-roledescription=\"flowchart-v2\"><text>ok</text></svg>"), "");
}

TEST(Digest, Sha256KnownValues) {
    EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex(std::string(1000, 'a')), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(Manifest, ReplacesOnlyWhatFlowpageWrote) {
    char pattern[] = "/tmp/flowpage_manifest_XXXXXX";
    std::string folder = ::mkdtemp(pattern);
    std::ofstream(folder + "/notes.html") << "mine";
    std::ofstream(folder + "/flow.svg") << "<svg/>";
    std::ofstream(folder + "/old.html") << "\n<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"UTF-8\">\n"
                                           "    <title>x</title>\n    <style>\n        /* Base Notion Style */\n";
    std::ofstream(folder + "/old.svg") << "<svg/>";
    Manifest manifest = Manifest::load(folder);
    EXPECT_TRUE(manifest.may_write("fresh.html"));
    EXPECT_FALSE(manifest.may_write("notes.html"));
    EXPECT_FALSE(manifest.may_write("flow.svg"));
    EXPECT_TRUE(manifest.may_write("old.html")) << "a page of a version before the manifest";
    EXPECT_TRUE(manifest.may_write("old.svg"));
    std::ofstream(folder + "/a\n%b.html") << "ours";
    manifest.add("a\n%b.html");
    manifest.add("gone.html");
    manifest.save();
    Manifest again = Manifest::load(folder);
    EXPECT_TRUE(again.owns("a\n%b.html"));
    EXPECT_FALSE(again.owns("gone.html")) << "entries that no longer exist are dropped";
    EXPECT_FALSE(again.may_write("notes.html"));
    std::system(("rm -rf '" + folder + "'").c_str());
}
