#include "report_text.hpp"

#include <algorithm>
#include <vector>

namespace velkit::picbook {

namespace {

const char* const kEllipsis = "\u2026";

double longest_word(py::handle pdf, const py::str& text) {
    double longest = 0;
    for (py::handle word : text.attr("split")()) {
        longest = std::max(longest, pdf.attr("get_string_width")(word).cast<double>());
    }
    return longest;
}

// Greedy wrapping at blanks, with words wider than a line broken between
// characters; empty when not even one character fits. (fpdf's own dry run
// hands back lines in which the windows-1252 characters beyond Latin-1 are
// lost, so the report wraps its texts itself.)
std::vector<py::str> wrap(py::handle pdf, const py::str& text, double width) {
    auto width_of = [&](const py::object& piece) { return pdf.attr("get_string_width")(piece).cast<double>(); };
    std::vector<py::str> lines;
    for (py::handle paragraph : text.attr("split")("\n")) {
        py::str line("");
        for (py::handle part : paragraph.attr("split")()) {
            py::str word = py::reinterpret_borrow<py::str>(part);
            if (py::len(line) > 0) {
                py::str candidate = py::str(line + py::str(" ") + word);
                if (width_of(candidate) <= width) {
                    line = candidate;
                    continue;
                }
                lines.push_back(line);
            }
            while (width_of(word) > width) {
                size_t fits = 0;
                while (fits < py::len(word) && width_of(word[py::slice(0, fits + 1, 1)]) <= width) ++fits;
                if (fits == 0) return {};
                lines.push_back(py::str(word[py::slice(0, fits, 1)]));
                word = py::str(word[py::slice(fits, py::len(word), 1)]);
            }
            line = word;
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

FittedText fit_text(py::handle pdf, ReportFonts& fonts, const TextStyle& style, const std::string& text,
                    double width) {
    FittedText fitted;
    // multi_cell keeps its cell margin free on both sides.
    double line_width = width - 2 * pdf.attr("c_margin").cast<double>();
    double size = style.size;
    py::str shown = fonts.set(style.style, size, text);
    while (size - 1 >= style.least_size && longest_word(pdf, shown) > line_width) {
        size -= 1;
        shown = fonts.set(style.style, size, text);
    }
    fitted.size = size;
    fitted.line_height = size * style.line_height_per_point;
    std::vector<py::str> lines = wrap(pdf, shown, line_width);
    if (static_cast<int>(lines.size()) > style.max_lines) {
        lines.resize(style.max_lines);
        py::str last = lines.back();
        py::str ellipsis(kEllipsis);
        while (py::len(last) > 0 && pdf.attr("get_string_width")(last + ellipsis).cast<double>() > line_width) {
            last = py::str(last[py::slice(0, py::len(last) - 1, 1)]);
        }
        lines.back() = py::str(last + ellipsis);
    }
    fitted.lines = static_cast<int>(lines.size());
    py::list joined;
    for (const py::str& line : lines) joined.append(line);
    fitted.text = py::str("\n").attr("join")(joined);
    return fitted;
}

void draw_text(py::handle pdf, ReportFonts& fonts, const TextStyle& style, const FittedText& fitted, double x,
               double y, double width, const char* align, py::object link) {
    if (fitted.lines == 0) return;
    py::str shown = fonts.set(style.style, fitted.size, fitted.text);
    pdf.attr("set_xy")(x, y);
    py::dict options;
    options["align"] = align;
    options["new_x"] = "LMARGIN";
    options["new_y"] = "NEXT";
    if (!link.is_none()) options["link"] = link;
    pdf.attr("multi_cell")(width, fitted.line_height, shown, **options);
}

}  // namespace velkit::picbook
