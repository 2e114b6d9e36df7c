#include "site.hpp"

#include <gtest/gtest.h>

#include <string>

#include "site_templates.hpp"

using namespace velkit::flowpage;

namespace {

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// Length in characters of UTF-8 text.
size_t characters(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

std::string line(const std::string& text, int number) {
    size_t start = 0;
    for (int i = 1; i < number; ++i) start = text.find('\n', start) + 1;
    return text.substr(start, text.find('\n', start) - start);
}

}  // namespace

TEST(Templates, LengthsLinesAndPlaceholders) {
    const std::string page = kPageTemplate;
    const std::string index = kIndexTemplate;
    EXPECT_EQ(characters(page), 3698u);
    EXPECT_EQ(page.size(), 3788u);
    EXPECT_EQ(count(page, "\n"), 92u);
    EXPECT_EQ(characters(index), 973u);
    EXPECT_EQ(index.size(), 976u);
    EXPECT_EQ(count(index, "\n"), 24u);
    EXPECT_EQ(page.front(), '\n');
    EXPECT_EQ(page.back(), '\n');
    EXPECT_EQ(index.front(), '\n');
    EXPECT_EQ(count(page, "{title}"), 2u);
    EXPECT_EQ(count(page, "{body_content}"), 1u);
    EXPECT_EQ(count(index, "{index_title}"), 2u);
    EXPECT_NE(index.find("\n    {md_section}\n    {chart_section}\n"), std::string::npos);
    EXPECT_EQ(page.find('\t'), std::string::npos);
    EXPECT_EQ(page.find('\r'), std::string::npos);
    EXPECT_EQ(line(page, 9), "        body {{ ");
}

TEST(FillTemplate, PlaceholdersAndDoubledBraces) {
    EXPECT_EQ(fill_template("a {{x}} {v} }}{{", {{"v", "1"}}), "a {x} 1 }{");
    // A value is inserted as it is, never read as a template itself.
    EXPECT_EQ(fill_template("<{v}>", {{"v", "{v} {{ }"}}), "<{v} {{ }>");
    EXPECT_THROW(fill_template("{missing}", {}), std::invalid_argument);
    EXPECT_THROW(fill_template("a } b", {}), std::invalid_argument);
    EXPECT_THROW(fill_template("a { b", {}), std::invalid_argument);
}

TEST(RenderPage, TitleEscapedTwiceBodyVerbatim) {
    std::string body = "<p>one</p>\n<pre><code>x &lt; 1\n</code></pre>";
    std::string page = render_page("A <b> & \"C\" {x}", body);
    EXPECT_EQ(line(page, 1), "");
    EXPECT_EQ(line(page, 2), "<!DOCTYPE html>");
    EXPECT_EQ(line(page, 6), "    <title>A &lt;b&gt; &amp; &quot;C&quot; {x}</title>");
    EXPECT_EQ(line(page, 82), "        <div class=\"title-text\">A &lt;b&gt; &amp; &quot;C&quot; {x}</div>");
    // Only the first body line stands after the placeholder's indentation.
    EXPECT_NE(page.find("    <div class=\"content\">\n        <p>one</p>\n<pre><code>x &lt; 1\n</code></pre>\n    </div>"),
              std::string::npos);
    EXPECT_EQ(line(page, 9), "        body { ") << "doubled braces become single ones";
    EXPECT_EQ(page.find("{{"), std::string::npos);
}

TEST(Index, DefaultLinesTwentyToTwentyTwo) {
    std::string index = render_index("Project Documentation", {document_item("README.html", "README (v0.1)")},
                                     {diagram_item("ab.html", "A to B Flow")});
    EXPECT_EQ(line(index, 20), "    <h2>\U0001F4C1 Project Documentation</h2>");
    EXPECT_EQ(line(index, 21),
              "    <h3>Documentation</h3><ul><li><a href=\"README.html\"><span class=\"icon\">\U0001F4D8</span> "
              "README (v0.1)</a></li></ul>");
    EXPECT_EQ(line(index, 22),
              "    <h3>Flow Charts</h3><ul><li><a href=\"ab.html\"><span class=\"icon\">\U0001F4CA</span> "
              "A to B Flow</a></li></ul>");
}

TEST(Index, SectionsWithoutItemsAreEmptyAndItemsJoinWithoutGaps) {
    std::string index = render_index("T & T", {}, {diagram_item("a.html", "a"), diagram_item("b.html", "b")});
    EXPECT_EQ(line(index, 6), "    <title>T &amp; T</title>");
    EXPECT_EQ(line(index, 21), "    ");
    EXPECT_EQ(line(index, 22).find("</li><li>") != std::string::npos, true);
    EXPECT_EQ(count(index, "<ul>"), 1u);
    EXPECT_EQ(line(render_index("T", {document_item("a.html", "a")}, {}), 22), "    ");
}

TEST(IndexItem, LinkTargetEncodedTitleEscaped) {
    EXPECT_EQ(document_item("a b&c.html", "x<y"),
              "<li><a href=\"a%20b%26c.html\"><span class=\"icon\">\U0001F4D8</span> x&lt;y</a></li>");
    EXPECT_EQ(percent_encode("Read_me-1.v2~.html"), "Read_me-1.v2~.html");
    EXPECT_EQ(percent_encode("javascript:alert(1)\".html"), "javascript%3Aalert%281%29%22.html");
    EXPECT_EQ(percent_encode("\xC3\xBC.html"), "%C3%BC.html");
    EXPECT_EQ(escape_html("'<>&\"plain"), "&#x27;&lt;&gt;&amp;&quot;plain");
}

TEST(Names, ExtensionsAndBaseNames) {
    EXPECT_TRUE(has_extension("README.MD", ".md"));
    EXPECT_TRUE(has_extension("notes.MMD", ".mmd"));
    EXPECT_TRUE(has_extension("diagram.mmd.md", ".md"));
    EXPECT_FALSE(has_extension("notes.md.txt", ".md"));
    EXPECT_FALSE(has_extension("md", ".md"));
    EXPECT_EQ(base_name_of("a.b.md"), "a.b");
    EXPECT_EQ(base_name_of("README.MD"), "README");
    EXPECT_EQ(base_name_of(".md"), ".md");
    EXPECT_EQ(base_name_of("x y.mmd"), "x y");
}

TEST(Names, LineEndsBecomeLineFeeds) {
    EXPECT_EQ(normalize_line_ends("a\r\nb\rc\n\r\n\r"), "a\nb\nc\n\n\n");
    EXPECT_EQ(normalize_line_ends("plain\n"), "plain\n");
}

TEST(PageNames, LaterPagesOfTheSameNameGetNumbers) {
    PageNames names;
    const std::vector<std::string> page = {".html"};
    const std::vector<std::string> page_and_svg = {".html", ".svg"};
    EXPECT_EQ(names.free_stem("x", page), "x");
    // Asking does not reserve: a document that failed leaves its name free.
    EXPECT_EQ(names.free_stem("x", page), "x");
    names.take("x", page);
    names.take("x-2", page);
    EXPECT_EQ(names.free_stem("x", page_and_svg), "x-3");
    names.take("x-3", page_and_svg);
    EXPECT_EQ(names.free_stem("x-3", page), "x-3-2");
    // index.md must not become the index itself.
    EXPECT_EQ(names.free_stem("index", page), "index-2");
    // A diagram's drawing counts as well: a second "y" diagram gets y-2.svg.
    names.take("y", page_and_svg);
    EXPECT_EQ(names.free_stem("y", page_and_svg), "y-2");
}
