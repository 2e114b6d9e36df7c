// Which font draws a text. Texts that windows-1252 covers use the PDF's
// built-in Helvetica, so such reports embed no font; other texts use a
// Unicode sans-serif font found on the machine (or `config.font_file`, which
// then draws everything). Characters no available font covers become "?",
// with a warning naming the text.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <set>
#include <string>

namespace velkit::picbook {

class ReportFonts {
public:
    void attach(py::object pdf) { pdf_ = std::move(pdf); }

    // Every text in this font from now on. Raises the library's error when
    // the file is not a usable font.
    void use_font_file(py::handle path);

    // Sets the font for `text` (style "", "B" or "U"; size in points) and
    // returns the text as it can be drawn.
    py::str set(const char* style, double size, const std::string& text);

private:
    bool fallback_available();
    py::str covered(const std::string& family, const char* style, const std::string& text);

    void warn_replaced(const std::string& text);

    py::object pdf_;
    std::set<std::string> warned_;
    std::string all_text_family_;  // set by use_font_file
    int fallback_state_ = 0;       // 0 not looked for, 1 registered, -1 none found
};

}  // namespace velkit::picbook
