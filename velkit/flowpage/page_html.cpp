#include "page_html.hpp"

#include <locale.h>
#include <wctype.h>

#include <cstdlib>
#include <map>

#include "markdown_source.hpp"
#include "text_kit.hpp"
#include "site.hpp"

namespace velkit::flowpage {

namespace {

// Unicode classes and lower case through the C library's UTF-8 locale.
locale_t unicode_locale() {
    static locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

std::string decode_entities(std::string_view text) {
    static const std::map<std::string, std::string> kNamed = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"#39", "'"}, {"#x27", "'"}, {"apos", "'"}};
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t amp = text.find('&', at);
        if (amp == std::string_view::npos) break;
        size_t semi = text.find(';', amp);
        out.append(text.substr(at, amp - at));
        if (semi != std::string_view::npos && semi - amp > 2 && semi - amp <= 9 && text[amp + 1] == '#') {
            // Numeric references: Markdown writes e-mail autolinks this way.
            std::string digits(text.substr(amp + 2, semi - amp - 2));
            bool hex = !digits.empty() && (digits[0] == 'x' || digits[0] == 'X');
            char* end = nullptr;
            unsigned long code = std::strtoul(digits.c_str() + (hex ? 1 : 0), &end, hex ? 16 : 10);
            if (end != nullptr && *end == '\0' && digits.size() > (hex ? 1u : 0u) && code > 0 && code <= 0x10FFFF &&
                (code < 0xD800 || code > 0xDFFF)) {
                ::velutil::append_utf8(out, static_cast<char32_t>(code));
                at = semi + 1;
                continue;
            }
        }
        if (semi != std::string_view::npos && semi - amp <= 6) {
            auto found = kNamed.find(std::string(text.substr(amp + 1, semi - amp - 1)));
            if (found != kNamed.end()) {
                out += found->second;
                at = semi + 1;
                continue;
            }
        }
        out += '&';
        at = amp + 1;
    }
    out.append(text.substr(at));
    return out;
}

bool is_heading_open(std::string_view html, size_t at) {
    return at + 4 <= html.size() && html[at] == '<' && html[at + 1] == 'h' && html[at + 2] >= '1' &&
           html[at + 2] <= '6' && html[at + 3] == '>';
}

}  // namespace

std::string html_text(std::string_view html) {
    std::string plain;
    bool in_tag = false;
    for (char c : html) {
        if (c == '<') in_tag = true;
        else if (c == '>' && in_tag) in_tag = false;
        else if (!in_tag) plain += c;
    }
    return decode_entities(plain);
}

std::string heading_slug(std::string_view text) {
    std::string slug;
    locale_t locale = unicode_locale();
    for (size_t at = 0; at < text.size();) {
        ::velutil::Utf8Unit unit = ::velutil::decode_utf8(text, at);
        char32_t code = unit.code;
        std::string_view original = text.substr(at, unit.length);
        at += unit.length;
        if (!unit.valid) continue;
        if (code < 0x80) {
            char c = static_cast<char>(code);
            if (c >= 'A' && c <= 'Z') slug += ::velutil::ascii_lower(c);
            else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_') slug += c;
            else if (c == ' ') slug += '-';
            continue;
        }
        if (locale == static_cast<locale_t>(0)) {
            slug += original;
            continue;
        }
        auto wide = static_cast<wint_t>(code);
        // Letters, marks and digits stay (lower case); punctuation, symbols
        // and emoji go, as on the web's largest code host.
        if (::iswpunct_l(wide, locale) || ::iswspace_l(wide, locale) || ::iswcntrl_l(wide, locale)) continue;
        ::velutil::append_utf8(slug, static_cast<char32_t>(::towlower_l(wide, locale)));
    }
    return slug;
}

std::string add_heading_ids(std::string_view html) {
    std::string out;
    std::map<std::string, int> seen;
    size_t at = 0;
    while (true) {
        size_t open = html.find("<h", at);
        while (open != std::string_view::npos && !is_heading_open(html, open)) open = html.find("<h", open + 2);
        if (open == std::string_view::npos) break;
        std::string close_tag = "</h" + std::string(1, html[open + 2]) + ">";
        size_t close = html.find(close_tag, open + 4);
        if (close == std::string_view::npos) break;
        std::string slug = heading_slug(html_text(html.substr(open + 4, close - open - 4)));
        int& count = seen[slug];
        std::string id = count == 0 ? slug : slug + "-" + std::to_string(count);
        ++count;
        out.append(html.substr(at, open - at));
        out.append(html.substr(open, 3)).append(" id=\"").append(escape_html(id)).append("\">");
        at = open + 4;
    }
    out.append(html.substr(at));
    return out;
}

std::vector<std::pair<std::string, std::string>> heading_list(std::string_view html) {
    std::vector<std::pair<std::string, std::string>> headings;
    for (size_t open = html.find("<h"); open != std::string_view::npos; open = html.find("<h", open + 2)) {
        if (open + 8 > html.size() || html[open + 2] < '1' || html[open + 2] > '6' ||
            html.substr(open + 3, 5) != " id=\"")
            continue;
        size_t id_end = html.find('"', open + 8);
        size_t start = html.find('>', open);
        size_t close = html.find("</h" + std::string(1, html[open + 2]) + ">", open);
        if (id_end == std::string_view::npos || start == std::string_view::npos || close == std::string_view::npos)
            break;
        std::string text = html_text(html.substr(start + 1, close - start - 1));
        headings.emplace_back(text, decode_entities(html.substr(open + 8, id_end - open - 8)));
    }
    return headings;
}

std::string first_heading_text(std::string_view html) {
    size_t open = html.find("<h1");
    while (open != std::string_view::npos && !(html.size() > open + 3 && (html[open + 3] == '>' || html[open + 3] == ' ')))
        open = html.find("<h1", open + 3);
    if (open == std::string_view::npos) return "";
    size_t start = html.find('>', open);
    size_t close = html.find("</h1>", start);
    if (start == std::string_view::npos || close == std::string_view::npos) return "";
    std::string text = html_text(html.substr(start + 1, close - start - 1));
    size_t first = text.find_first_not_of(" \t\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

std::string rewrite_urls(std::string_view html, const UrlChange& change) {
    std::string out;
    size_t at = 0;
    while (true) {
        size_t tag = html.find('<', at);
        if (tag == std::string_view::npos) break;
        size_t tag_end = html.find('>', tag);
        if (tag_end == std::string_view::npos) break;
        std::string_view tag_text = html.substr(tag, tag_end - tag);
        std::string attribute;
        if (tag_text.substr(0, 3) == "<a " || tag_text.substr(0, 3) == "<a\n") attribute = "href=\"";
        if (tag_text.substr(0, 5) == "<img " || tag_text.substr(0, 5) == "<img\n") attribute = "src=\"";
        size_t value_at = attribute.empty() ? std::string_view::npos : tag_text.find(attribute);
        // Links in drawings may be written as xlink:href.
        bool qualified = value_at != std::string_view::npos && value_at > 6 &&
                         tag_text.substr(value_at - 6, 6) == "xlink:" &&
                         (tag_text[value_at - 7] == ' ' || tag_text[value_at - 7] == '\n');
        if (value_at == std::string_view::npos ||
            (!qualified && tag_text[value_at - 1] != ' ' && tag_text[value_at - 1] != '\n')) {
            out.append(html.substr(at, tag_end + 1 - at));
            at = tag_end + 1;
            continue;
        }
        size_t start = tag + value_at + attribute.size();
        size_t end = html.find('"', start);
        if (end == std::string_view::npos || end > tag_end) {
            out.append(html.substr(at, tag_end + 1 - at));
            at = tag_end + 1;
            continue;
        }
        out.append(html.substr(at, start - at));
        std::string url = decode_entities(html.substr(start, end - start));
        std::optional<std::string> changed = change(url);
        out.append(changed ? escape_html(*changed) : std::string(html.substr(start, end - start)));
        at = end;
    }
    out.append(html.substr(at));
    return out;
}

std::set<std::string> element_ids(std::string_view html) {
    std::set<std::string> ids;
    for (const char* attribute : {" id=\"", " name=\""}) {
        std::string_view needle(attribute);
        for (size_t at = html.find(needle); at != std::string_view::npos; at = html.find(needle, at + 1)) {
            size_t start = at + needle.size();
            size_t end = html.find('"', start);
            if (end == std::string_view::npos) break;
            ids.insert(decode_entities(html.substr(start, end - start)));
        }
    }
    return ids;
}

std::string put_in_place(std::string_view html, std::string_view token, const std::vector<std::string>& parts) {
    std::string out(html);
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string marker = fence_marker(token, i);
        std::string paragraph = "<p>" + marker + "</p>";
        size_t at = out.find(paragraph);
        if (at != std::string::npos) {
            out.replace(at, paragraph.size(), parts[i]);
            continue;
        }
        at = out.find(marker);
        if (at != std::string::npos) out.replace(at, marker.size(), parts[i]);
    }
    return out;
}

std::string fence_as_code(std::string_view source) {
    return "<pre><code class=\"language-mermaid\">" + escape_html(source) + "</code></pre>";
}

}  // namespace velkit::flowpage
