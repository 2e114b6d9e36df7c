// Text fitted to a width: wrapped at word boundaries, drawn smaller (down to
// a least size) when one word is wider than the width, and cut with "…"
// after a number of lines. Nothing a report draws runs past its box.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

#include "report_fonts.hpp"

namespace velkit::picbook {

struct TextStyle {
    const char* style;  // "", "B" or "U"
    double size;        // points
    double least_size;  // smallest size tried before words are broken
    double line_height_per_point;  // line height (mm) per point of size
    int max_lines;
};

struct FittedText {
    py::str text;  // lines joined by "\n"; empty when nothing fits
    double size = 0;
    double line_height = 0;
    int lines = 0;
    double height() const { return lines * line_height; }
};

FittedText fit_text(py::handle pdf, ReportFonts& fonts, const TextStyle& style, const std::string& text,
                    double width);

// Draws fitted text at (x, y) in a box of `width`; the font is set again.
void draw_text(py::handle pdf, ReportFonts& fonts, const TextStyle& style, const FittedText& fitted, double x,
               double y, double width, const char* align, py::object link = py::none());

}  // namespace velkit::picbook
