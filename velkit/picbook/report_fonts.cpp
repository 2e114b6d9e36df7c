#include "report_fonts.hpp"

#include <cstdio>

#include "state.hpp"
#include "text_kit.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::picbook {

namespace {

constexpr const char* kCoreFamily = "helvetica";
constexpr const char* kUserFamily = "userfont";
constexpr const char* kUnicodeFamily = "unicodesans";

// The characters the built-in font draws among fpdf's fallback fonts:
// there fpdf writes a character as it is, so only those whose windows-1252
// byte is their Latin-1 one (not the euro sign, curly quotes and dashes).
bool core_fallback_has(long code) { return (code >= 0x20 && code <= 0x7E) || (code >= 0xA0 && code <= 0xFF); }

bool core_font_covers(const py::str& text) {
    try {
        text.attr("encode")("windows-1252");
        return true;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_UnicodeError)) throw;
        return false;
    }
}

// The output of a fontconfig program, or "" when it is missing or fails.
std::string fontconfig(const char* program_name, py::tuple arguments) {
    py::object program = py::module_::import("shutil").attr("which")(program_name);
    if (program.is_none()) return "";
    py::list argv;
    argv.append(program);
    for (py::handle argument : arguments) argv.append(argument);
    py::object done = py::module_::import("subprocess")
                          .attr("run")(argv, py::arg("capture_output") = true, py::arg("text") = true,
                                       py::arg("timeout") = 30);
    if (done.attr("returncode").cast<int>() != 0) return "";
    return py::str(done.attr("stdout")).cast<std::string>();
}

bool outline_font(const std::string& path) {
    std::string extension = velutil::ascii_lower(path.size() > 4 ? path.substr(path.size() - 4) : "");
    return (extension == ".ttf" || extension == ".otf" || extension == ".ttc") &&
           py::bool_(py::module_::import("os.path").attr("isfile")(path));
}

// A Unicode sans-serif face: DejaVu Sans as fontconfig finds it (the
// family checked, for fontconfig names its nearest font when DejaVu is not
// there), or at Debian's path where fontconfig's programs are missing.
// FONTCONFIG_FILE, fontconfig's own setting, therefore decides what is
// found, also for the tests that hide DejaVu.
std::string unicode_font_file(bool bold) {
    const char* pattern = bold ? "DejaVu Sans:bold" : "DejaVu Sans";
    if (!py::module_::import("shutil").attr("which")("fc-match").is_none()) {
        std::string found = fontconfig("fc-match", py::make_tuple("-f", "%{family}\n%{file}", pattern));
        size_t end = found.find('\n');
        if (end == std::string::npos || found.compare(0, 11, "DejaVu Sans") != 0) return "";
        std::string path = found.substr(end + 1);
        return outline_font(path) ? path : "";
    }
    std::string known = bold ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
                             : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    return outline_font(known) ? known : "";
}

// Scripts whose letters join or run right to left: they need shaping.
bool needs_shaping(long code) {
    return (code >= 0x0590 && code <= 0x08FF) ||   // Hebrew, Arabic, Syriac, Thaana, N'Ko, ...
           (code >= 0x0900 && code <= 0x0DFF) ||   // the scripts of India and Sri Lanka
           (code >= 0xFB1D && code <= 0xFDFF) ||   // Hebrew and Arabic presentation forms
           (code >= 0xFE70 && code <= 0xFEFF);
}


// The text a person wrote, without what the report adds around it: "3. "
// of a contents entry, "Figure 2:  " of a caption, ":   " of a fact value,
// " (continued)" and " (no images)".
std::string written_text(std::string text) {
    auto starts = [&](const std::string& prefix) { return text.rfind(prefix, 0) == 0; };
    auto ends = [&](const std::string& suffix) {
        return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    for (const std::string& suffix : {std::string(" (continued)"), std::string(" (no images)")}) {
        if (ends(suffix)) text.erase(text.size() - suffix.size());
    }
    if (starts(":   ")) return text.substr(4);
    size_t digits = starts("Figure ") ? 7 : 0;
    size_t end = digits;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end > digits) {
        if (digits == 0 && text.compare(end, 2, ". ") == 0) return text.substr(end + 2);
        if (digits > 0 && text.compare(end, 3, ":  ") == 0) return text.substr(end + 3);
    }
    return text;
}

}  // namespace

// Once per text: it is measured and drawn more than once, and in more than
// one form.
void ReportFonts::warn_replaced(const std::string& text) {
    std::string written = written_text(text);
    if (!warned_.insert(written).second) return;
    state().log.warning("The PDF font cannot show some characters of \"" + written +
                        "\"; they are written as \"?\".");
}

bool ReportFonts::add_family(const std::string& family, const std::string& regular, const std::string& bold) {
    try {
        pdf_.attr("add_font")(family, "", regular);
        pdf_.attr("add_font")(family, "B", bold.empty() ? regular : bold);
    } catch (py::error_already_set& error) {
        // A damaged system font costs its characters, not the report.
        if (!error.matches(PyExc_Exception)) throw;
        state().log.warning("The font " + regular + " cannot be used: " + frame::shown(error.value()));
        return false;
    }
    chain_.push_back(family);
    chain_maps_.push_back(pdf_.attr("fonts")[py::str(family)].attr("cmap"));
    known_files_.insert(regular);
    return true;
}

void ReportFonts::use_font_file(py::handle path) {
    for (const char* style : {"", "B"}) pdf_.attr("add_font")(kUserFamily, style, path);
    chain_.insert(chain_.begin(), kUserFamily);
    chain_maps_.insert(chain_maps_.begin(), pdf_.attr("fonts")[py::str(kUserFamily)].attr("cmap"));
    font_file_ = true;
    // The page header is drawn by the document itself, in the same chain.
    pdf_.attr("header_family") = kUserFamily;
    register_core_font();
    look_for_unicode_font();
}

void ReportFonts::look_for_unicode_font() {
    if (unicode_looked_for_) return;
    unicode_looked_for_ = true;
    std::string regular = unicode_font_file(false);
    if (!regular.empty()) add_family(kUnicodeFamily, regular, unicode_font_file(true));
    pdf_.attr("header_fallbacks") = fallbacks();
}

bool ReportFonts::in_chain(long code) const {
    py::int_ key(code);
    for (const py::object& cmap : chain_maps_) {
        if (cmap.contains(key)) return true;
    }
    return false;
}

// Asks fontconfig once per character for a font that has it; such a font
// joins the end of the chain.
void ReportFonts::find_font_for(long code) {
    if (!searched_.insert(code).second) return;
    char charset[32];
    std::snprintf(charset, sizeof charset, ":charset=%lx", code);
    std::string listed = fontconfig("fc-list", py::make_tuple(charset, "file"));
    size_t start = 0;
    while (start < listed.size()) {
        size_t end = listed.find('\n', start);
        if (end == std::string::npos) end = listed.size();
        std::string line = listed.substr(start, end - start);
        start = end + 1;
        // "path: " per line; of a collection (.ttc) the first face is used.
        size_t colon = line.rfind(':');
        std::string file = colon == std::string::npos ? line : line.substr(0, colon);
        if (!outline_font(file) || known_files_.count(file)) continue;
        std::string family = "fallback" + std::to_string(chain_.size());
        if (add_family(family, file, "") && chain_maps_.back().contains(py::int_(code))) return;
    }
}

ReportFonts::Coverage ReportFonts::cover(const std::string& text) {
    Coverage coverage;
    py::str original(text);
    py::list kept;
    for (py::handle character : original) {
        long code = static_cast<long>(PyUnicode_ReadChar(character.ptr(), 0));
        bool shown = code < 0x20 || in_chain(code);
        if (!shown) {
            find_font_for(code);
            shown = in_chain(code);
        }
        if (!shown) {
            coverage.chain_alone = false;
            shown = core_fallback_has(code);
        }
        kept.append(shown ? py::reinterpret_borrow<py::object>(character) : py::str("?"));
        coverage.replaced = coverage.replaced || !shown;
    }
    coverage.shown = py::str("").attr("join")(kept);
    return coverage;
}

void ReportFonts::use_core_font(const char* style, double size) {
    if (!chain_.empty() || shaping_ == 1) {
        pdf_.attr("set_fallback_fonts")(py::list());
        pdf_.attr("set_text_shaping")(false);
    }
    pdf_.attr("set_font")(kCoreFamily, style, size);
}

py::list ReportFonts::fallbacks() const {
    // The whole chain, its first font too: fpdf looks for fallbacks only
    // when it has some, and the built-in font answers from its own hook.
    py::list families;
    for (const std::string& family : chain_) families.append(family);
    return families;
}

void ReportFonts::register_core_font() {
    // fpdf takes a fallback font from the fonts it has seen; the built-in
    // one joins on its first set_font.
    if (core_registered_) return;
    core_registered_ = true;
    for (const char* style : {"", "B"}) pdf_.attr("set_font")(kCoreFamily, style, 10);
}

void ReportFonts::use_chain(const char* style, double size, bool shaped) {
    register_core_font();
    pdf_.attr("set_fallback_fonts")(fallbacks(), py::arg("exact_match") = false);
    if (shaping_ < 0) {
        shaping_ = py::module_::import("importlib.util").attr("find_spec")("uharfbuzz").is_none() ? 0 : 1;
    }
    if (shaped && shaping_ == 1) {
        // The report reads left to right: "5. name" stays in that order
        // around a right-to-left name, which is itself drawn right to left.
        pdf_.attr("set_text_shaping")(true, py::arg("direction") = "ltr");
    } else {
        pdf_.attr("set_text_shaping")(false);
    }
    pdf_.attr("set_font")(chain_.front(), style, size);
}

py::str ReportFonts::set(const char* style, double size, const std::string& text) {
    py::str original(text);
    bool core = core_font_covers(original);
    if (core && !font_file_) {
        use_core_font(style, size);
        return original;
    }
    look_for_unicode_font();
    Coverage coverage = cover(text);
    if (core && !coverage.chain_alone) {
        // A font_file without Latin letters and no DejaVu Sans, say: the
        // built-in font draws the whole text, euro sign and dashes included.
        use_core_font(style, size);
        return original;
    }
    if (chain_.empty()) {
        // No font draws any of what the built-in one lacks.
        use_core_font(style, size);
        warn_replaced(text);
        return original.attr("encode")("windows-1252", "replace").attr("decode")("windows-1252");
    }
    if (coverage.replaced) warn_replaced(text);
    bool shaped = false;
    for (py::handle character : coverage.shown) {
        if (needs_shaping(static_cast<long>(PyUnicode_ReadChar(character.ptr(), 0)))) {
            shaped = true;
            break;
        }
    }
    use_chain(style, size, shaped);
    return coverage.shown;
}

py::object lab_report_fallback_font(py::object self, py::str character, py::str style) {
    py::object found = state().fpdf_class.attr("get_fallback_font")(self, character, style);
    if (!found.is_none() || py::len(character) != 1) return found;
    if (!core_fallback_has(static_cast<long>(PyUnicode_ReadChar(character.ptr(), 0)))) return py::none();
    py::str key(std::string(kCoreFamily) + (std::string(style).find('B') != std::string::npos ? "B" : ""));
    return self.attr("fonts").contains(key) ? py::object(key) : py::object(py::none());
}

}  // namespace velkit::picbook
