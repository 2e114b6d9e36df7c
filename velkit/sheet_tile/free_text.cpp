#include "free_text.hpp"

#include <sstream>

#include "pdf_numbers.hpp"

namespace velkit::sheet_tile {

namespace {

// An average Helvetica glyph is about half an em wide.
constexpr double kAverageGlyph = 0.5;
constexpr double kPadding = 2;

std::vector<std::string> tokens_of(const std::string& text) {
    std::vector<std::string> tokens;
    std::istringstream in(text);
    for (std::string token; in >> token;) tokens.push_back(token);
    return tokens;
}

// A PDF number ("12", "-0.5", ".5"), read without the process's locale.
bool is_number(const std::string& token, double& value) {
    size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '-' || token[i] == '+')) negative = token[i++] == '-';
    double whole = 0, fraction = 0, place = 1;
    bool digits = false, point = false;
    for (; i < token.size(); ++i) {
        char c = token[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (point) {
                place /= 10;
                fraction += (c - '0') * place;
            } else {
                whole = whole * 10 + (c - '0');
            }
        } else {
            return false;
        }
    }
    if (!digits) return false;
    value = (negative ? -1 : 1) * (whole + fraction);
    return true;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

TextStyle style_of(const std::string& default_appearance) {
    TextStyle style;
    std::vector<std::string> tokens = tokens_of(default_appearance);
    std::string colour;
    for (size_t i = 0; i < tokens.size(); ++i) {
        double value = 0;
        if (tokens[i] == "Tf" && i >= 1 && is_number(tokens[i - 1], value) && value > 0) style.size = value;
        const std::string& op = tokens[i];
        const size_t operands = op == "g" ? 1 : op == "rg" ? 3 : op == "k" ? 4 : 0;
        if (operands > 0 && i >= operands) {
            std::string ops;
            for (size_t k = i - operands; k <= i; ++k) ops += tokens[k] + (k < i ? " " : "");
            colour = ops;
        }
    }
    if (!colour.empty()) style.colour = colour;
    return style;
}

std::string scaled_appearance(const std::string& default_appearance, double factor) {
    std::vector<std::string> tokens = tokens_of(default_appearance);
    std::string out;
    for (size_t i = 0; i < tokens.size(); ++i) {
        double value = 0;
        std::string token = tokens[i];
        if (i + 1 < tokens.size() && tokens[i + 1] == "Tf" && is_number(token, value)) {
            token = pdf_number(value * factor);
        }
        out += (out.empty() ? "" : " ") + token;
    }
    return out;
}

std::vector<std::string> wrap_lines(const std::string& text, double width, double size) {
    const size_t per_line = std::max<size_t>(1, static_cast<size_t>(width / (size * kAverageGlyph)));
    std::vector<std::string> lines;
    std::string paragraph;
    auto flush_paragraph = [&]() {
        std::string line;
        for (const std::string& word_in : tokens_of(paragraph)) {
            std::string word = word_in;
            while (word.size() > per_line) {
                if (!line.empty()) lines.push_back(line), line.clear();
                lines.push_back(word.substr(0, per_line));
                word.erase(0, per_line);
            }
            if (word.empty()) continue;
            if (line.empty()) {
                line = word;
            } else if (line.size() + 1 + word.size() <= per_line) {
                line += " " + word;
            } else {
                lines.push_back(line);
                line = word;
            }
        }
        lines.push_back(line);
        paragraph.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            flush_paragraph();
        } else {
            paragraph += text[i];
        }
    }
    flush_paragraph();
    return lines;
}

std::string single_byte_text(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        unsigned code = 0;
        size_t length = 1;
        if (c < 0x80) {
            code = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            length = 2;
        } else {
            length = (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
            code = '?';
        }
        out += code >= 0x20 && code < 0x100 ? static_cast<char>(code) : (code == '\n' || code == '\r' ? char(code) : '?');
        i += length;
    }
    return out;
}

std::string free_text_content(const std::string& text, double width, double height, const TextStyle& style,
                              double border) {
    std::string content = "q\n";
    if (border > 0) {
        content += "0 G " + pdf_number(border) + " w " + pdf_number(border / 2) + " " + pdf_number(border / 2) + " " +
                   pdf_number(width - border) + " " + pdf_number(height - border) + " re S\n";
    }
    content += "0 0 " + pdf_number(width) + " " + pdf_number(height) + " re W n\n";
    const double inset = border + kPadding;
    const double leading = style.size * 1.15;
    content += "BT /F1 " + pdf_number(style.size) + " Tf " + style.colour + " " + pdf_number(leading) + " TL " +
               pdf_number(inset) + " " + pdf_number(height - inset - style.size) + " Td\n";
    bool first = true;
    for (const std::string& line : wrap_lines(text, width - 2 * inset, style.size)) {
        content += (first ? "(" : "T* (") + escaped(line) + ") Tj\n";
        first = false;
    }
    content += "ET\nQ\n";
    return content;
}

}  // namespace velkit::sheet_tile
