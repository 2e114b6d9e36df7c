// The appearance of a free-text note that has none: its text, in the size
// and colour of its default appearance (/DA), wrapped into its box, so that
// it can be turned and scaled with its page like any drawn annotation.
// Plain C++.
#pragma once
#include <string>
#include <vector>

namespace velkit::sheet_tile {

// What a /DA string such as "/Helv 12 Tf 0 0 1 rg" says about the text.
struct TextStyle {
    double size = 12;              // 0 in /DA means "fit", taken as 12
    std::string colour = "0 g";    // the colour operators, as given
};
TextStyle style_of(const std::string& default_appearance);

// `default_appearance` with its font size multiplied by `factor` (for
// viewers that draw the note themselves from /DA).
std::string scaled_appearance(const std::string& default_appearance, double factor);

// `text` (single-byte, lines split at \r, \n or both) broken at spaces
// into lines no wider than `width` for a Helvetica-like font of `size`
// points; a word longer than a line is cut.
std::vector<std::string> wrap_lines(const std::string& text, double width, double size);

// UTF-8 as the standard fonts' single-byte encoding (Latin-1 range); any
// other character becomes "?".
std::string single_byte_text(const std::string& utf8);

// Content operators drawing `text` in a box of `width` x `height` from its
// top left, with a `border`-point black frame (0: none), using font /F1.
std::string free_text_content(const std::string& text, double width, double height, const TextStyle& style,
                              double border);

}  // namespace velkit::sheet_tile
