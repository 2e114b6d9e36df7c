#include "report_fonts.hpp"

#include "state.hpp"
#include "text_kit.hpp"

namespace velkit::picbook {

namespace {

constexpr const char* kCoreFamily = "helvetica";
constexpr const char* kUserFamily = "userfont";
constexpr const char* kFallbackFamily = "unicodesans";

bool core_font_covers(const py::str& text) {
    try {
        text.attr("encode")("windows-1252");
        return true;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_UnicodeError)) throw;
        return false;
    }
}

// The file of a font that fontconfig picks for `pattern`, or "" without
// fontconfig or a match.
std::string fontconfig_file(const char* pattern) {
    py::module_ shutil = py::module_::import("shutil");
    py::object program = shutil.attr("which")("fc-match");
    if (program.is_none()) return "";
    py::module_ subprocess = py::module_::import("subprocess");
    py::object done = subprocess.attr("run")(py::make_tuple(program, "-f", "%{file}", pattern),
                                             py::arg("capture_output") = true, py::arg("text") = true);
    if (done.attr("returncode").cast<int>() != 0) return "";
    return py::str(done.attr("stdout")).attr("strip")().cast<std::string>();
}

// A Unicode sans-serif face: DejaVu Sans when installed, found through
// fontconfig, else at Debian's path.
std::string unicode_font_file(bool bold) {
    py::module_ os_path = py::module_::import("os.path");
    std::string found = fontconfig_file(bold ? "DejaVu Sans:bold" : "DejaVu Sans");
    std::string known = bold ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
                             : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    for (const std::string& path : {found, known}) {
        std::string extension = velutil::ascii_lower(path.size() > 4 ? path.substr(path.size() - 4) : "");
        bool outline_font = extension == ".ttf" || extension == ".otf";
        if (outline_font && py::bool_(os_path.attr("isfile")(path))) return path;
    }
    return "";
}

}  // namespace

// Once per text: it is measured and drawn more than once.
void ReportFonts::warn_replaced(const std::string& text) {
    if (!warned_.insert(text).second) return;
    state().log.warning("The PDF font cannot show some characters of \"" + text + "\"; they are written as \"?\".");
}

void ReportFonts::use_font_file(py::handle path) {
    for (const char* style : {"", "B"}) pdf_.attr("add_font")(kUserFamily, style, path);
    all_text_family_ = kUserFamily;
}

bool ReportFonts::fallback_available() {
    if (fallback_state_ == 0) {
        std::string regular = unicode_font_file(false);
        std::string bold = unicode_font_file(true);
        fallback_state_ = -1;
        if (!regular.empty()) {
            try {
                pdf_.attr("add_font")(kFallbackFamily, "", regular);
                pdf_.attr("add_font")(kFallbackFamily, "B", bold.empty() ? regular : bold);
                fallback_state_ = 1;
            } catch (py::error_already_set& error) {
                // A damaged system font costs the characters, not the report.
                if (!error.matches(PyExc_Exception)) throw;
                state().log.warning("The font " + regular + " cannot be used: " + std::string(py::str(error.value())));
            }
        }
    }
    return fallback_state_ == 1;
}

// The text with the characters the font's character map lacks as "?".
py::str ReportFonts::covered(const std::string& family, const char* style, const std::string& text) {
    std::string key = family + (std::string(style) == "B" ? "B" : "");
    py::object cmap = pdf_.attr("fonts")[py::str(key)].attr("cmap");
    py::str original(text);
    py::list kept;
    bool replaced = false;
    for (py::handle character : original) {
        long code = static_cast<long>(PyUnicode_ReadChar(character.ptr(), 0));
        bool shown = code < 0x20 || cmap.contains(py::int_(code));
        kept.append(shown ? py::reinterpret_borrow<py::object>(character) : py::str("?"));
        replaced = replaced || !shown;
    }
    if (replaced) warn_replaced(text);
    return py::str("").attr("join")(kept);
}

py::str ReportFonts::set(const char* style, double size, const std::string& text) {
    py::str original(text);
    if (!all_text_family_.empty()) {
        pdf_.attr("set_font")(all_text_family_, style, size);
        return covered(all_text_family_, style, text);
    }
    if (core_font_covers(original) || !fallback_available()) {
        pdf_.attr("set_font")(kCoreFamily, style, size);
        if (core_font_covers(original)) return original;
        warn_replaced(text);
        return original.attr("encode")("windows-1252", "replace").attr("decode")("windows-1252");
    }
    pdf_.attr("set_font")(kFallbackFamily, style, size);
    return covered(kFallbackFamily, style, text);
}

}  // namespace velkit::picbook
