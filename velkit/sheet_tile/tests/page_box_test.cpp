// What part of a page is shown, where an annotation is drawn, and the
// appearance of a free-text note without one.
#include <gtest/gtest.h>

#include "free_text.hpp"
#include "page_box.hpp"

namespace velkit::sheet_tile {
namespace {

const Box kA4{0, 0, 595, 842};

struct ShownCase {
    const char* name;
    Box media;
    std::optional<Box> crop;
    std::optional<Box> shown;  // nothing: the page is left out
    bool fell_back;
};

class ShownBoxTest : public testing::TestWithParam<ShownCase> {};

TEST_P(ShownBoxTest, ClipsOrFallsBack) {
    const ShownCase& c = GetParam();
    std::optional<ShownBox> result = shown_box(c.media, c.crop);
    ASSERT_EQ(result.has_value(), c.shown.has_value());
    if (!result) return;
    EXPECT_DOUBLE_EQ(result->box.left, c.shown->left);
    EXPECT_DOUBLE_EQ(result->box.bottom, c.shown->bottom);
    EXPECT_DOUBLE_EQ(result->box.width, c.shown->width);
    EXPECT_DOUBLE_EQ(result->box.height, c.shown->height);
    EXPECT_EQ(result->fell_back, c.fell_back);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ShownBoxTest,
    testing::Values(ShownCase{"no_crop_box", kA4, std::nullopt, kA4, false},
                    ShownCase{"crop_inside", kA4, Box{36, 36, 100, 200}, Box{36, 36, 100, 200}, false},
                    ShownCase{"crop_larger_than_media", kA4, Box{-50, -50, 800, 1000}, kA4, false},
                    ShownCase{"crop_overlapping_a_corner", kA4, Box{500, 800, 200, 200}, Box{500, 800, 95, 42}, false},
                    ShownCase{"crop_without_area", kA4, Box{10, 10, 0, 390}, kA4, true},
                    ShownCase{"crop_outside_media", kA4, Box{1000, 1000, 50, 50}, kA4, true},
                    ShownCase{"media_without_area", Box{0, 0, 595, 0}, Box{0, 0, 100, 100}, std::nullopt, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawnOn, TextMarkupCountsByItsQuadPoints) {
    const Box off_page{700, 900, 50, 20};
    const std::vector<double> quads_on_page{100, 120, 200, 120, 100, 100, 200, 100};
    EXPECT_TRUE(drawn_on("Highlight", off_page, quads_on_page, kA4));
    EXPECT_TRUE(drawn_on("StrikeOut", off_page, quads_on_page, kA4));
    // Other kinds are drawn by their /Rect; quads off the page do not help.
    EXPECT_FALSE(drawn_on("Link", off_page, quads_on_page, kA4));
    EXPECT_FALSE(drawn_on("Highlight", off_page, {700, 920, 750, 920, 700, 900, 750, 900}, kA4));
    EXPECT_FALSE(drawn_on("Highlight", off_page, {}, kA4));
    EXPECT_TRUE(drawn_on("Text", Box{590, 830, 20, 20}, {}, kA4));  // a corner on the page is enough
}

TEST(FreeText, StyleAndScaledSize) {
    TextStyle style = style_of("/Helv 14 Tf 1 0 0 rg");
    EXPECT_DOUBLE_EQ(style.size, 14);
    EXPECT_EQ(style.colour, "1 0 0 rg");
    EXPECT_DOUBLE_EQ(style_of("/Helv 0 Tf").size, 12);  // "fit" is drawn at the usual size
    EXPECT_EQ(style_of("").colour, "0 g");
    EXPECT_EQ(scaled_appearance("/Helv 12 Tf 0 g", 0.25), "/Helv 3 Tf 0 g");
    EXPECT_EQ(scaled_appearance("0 g /F1 9.5 Tf", 2), "0 g /F1 19 Tf");
}

TEST(FreeText, WrapsAtSpacesAndCutsLongWords) {
    // 12-point text, half an em per glyph: 10 glyphs in 60 points.
    EXPECT_EQ(wrap_lines("one two three four", 60, 12), (std::vector<std::string>{"one two", "three four"}));
    EXPECT_EQ(wrap_lines("abcdefghijklmnopqrstuvwxy", 60, 12),
              (std::vector<std::string>{"abcdefghij", "klmnopqrst", "uvwxy"}));
    EXPECT_EQ(wrap_lines("first\r\nsecond\rthird", 600, 12), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(wrap_lines("", 60, 12), (std::vector<std::string>{""}));
}

TEST(FreeText, SingleByteTextAndEscapedContent) {
    EXPECT_EQ(single_byte_text("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"), "Gr\xFC\xDF" "e ?");
    std::string content = free_text_content("a (b) \\c", 100, 40, TextStyle{}, 1);
    EXPECT_NE(content.find("(a \\(b\\) \\\\c) Tj"), std::string::npos) << content;
    EXPECT_NE(content.find("/F1 12 Tf"), std::string::npos);
    EXPECT_NE(content.find("0 G 1 w 0.5 0.5 99 39 re S"), std::string::npos);
    EXPECT_EQ(free_text_content("x", 100, 40, TextStyle{}, 0).find(" re S"), std::string::npos);
}

}  // namespace
}  // namespace velkit::sheet_tile
