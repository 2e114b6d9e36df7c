// Which fonts draw a text. Texts that windows-1252 covers use the PDF's
// built-in Helvetica, so such reports embed no font (unless `font_file` is
// given). Other texts are drawn with a chain of fonts, character by
// character: `font_file` when given, then DejaVu Sans, then fonts that
// fontconfig finds for the characters still missing (Noto CJK and the
// like), then the built-in font: a text the chain cannot draw whole and
// windows-1252 covers is drawn with it, and in a text of both, the built-in
// font draws the Latin-1 characters the chain lacks. Right-to-left and joined
// scripts are shaped by HarfBuzz. A character that no font has becomes "?",
// with one warning naming the text.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace velkit::picbook {

class ReportFonts {
public:
    void attach(py::object pdf) { pdf_ = std::move(pdf); }

    // `font_file` first in the chain from now on. Raises the library's
    // error when the file is not a usable font.
    void use_font_file(py::handle path);

    // Sets the font for `text` (style "", "B" or "U"; size in points) and
    // returns the text as it can be drawn.
    py::str set(const char* style, double size, const std::string& text);

private:
    void look_for_unicode_font();
    bool add_family(const std::string& family, const std::string& regular, const std::string& bold);
    bool in_chain(long code) const;
    void find_font_for(long code);
    // A text as the fonts can draw it: "?" for characters that neither the
    // chain nor the built-in font has; `chain_alone` when the chain has all.
    struct Coverage {
        py::str shown;
        bool chain_alone = true;
        bool replaced = false;
    };
    Coverage cover(const std::string& text);
    py::list fallbacks() const;
    void register_core_font();
    void use_core_font(const char* style, double size);
    void use_chain(const char* style, double size, bool shaped);
    void warn_replaced(const std::string& text);

    py::object pdf_;
    std::set<std::string> warned_;
    std::vector<std::string> chain_;           // families, first choice first
    std::vector<py::object> chain_maps_;       // their character maps
    std::set<std::string> known_files_;        // font files in the chain
    std::set<long> searched_;                  // characters fontconfig was asked about
    bool unicode_looked_for_ = false;          // DejaVu Sans, once
    bool core_registered_ = false;             // the built-in font, for fpdf's fallbacks
    bool font_file_ = false;
    int shaping_ = -1;                         // -1 not known, 0 unavailable, 1 available
};

// fpdf's fallback hook of LabReport: the fonts of the chain, then the
// built-in font for the Latin-1 characters (once the report has set it).
py::object lab_report_fallback_font(py::object self, py::str character, py::str style);

}  // namespace velkit::picbook
