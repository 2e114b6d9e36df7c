#include "site.hpp"

#include <algorithm>
#include <stdexcept>

#include "links.hpp"
#include "paths.hpp"
#include "site_templates.hpp"
#include "text_kit.hpp"

namespace velkit::flowpage {

std::string fill_template(std::string_view format, const std::map<std::string, std::string>& values) {
    std::string out;
    out.reserve(format.size());
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c == '{' || c == '}') {
            if (i + 1 < format.size() && format[i + 1] == c) {
                out += c;
                ++i;
                continue;
            }
            if (c == '}') throw std::invalid_argument("unpaired '}' in template");
            size_t close = format.find('}', i + 1);
            if (close == std::string_view::npos) throw std::invalid_argument("unpaired '{' in template");
            std::string name(format.substr(i + 1, close - i - 1));
            auto found = values.find(name);
            if (found == values.end()) throw std::invalid_argument("no value for {" + name + "}");
            out += found->second;
            i = close;
            continue;
        }
        out += c;
    }
    return out;
}

std::string escape_html(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#x27;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string percent_encode(std::string_view name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
        if (unreserved) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string render_page(std::string_view title, std::string_view body) {
    return fill_template(kPageTemplate, {{"title", escape_html(title)}, {"body_content", std::string(body)}});
}

namespace {

std::string index_item(std::string_view icon, std::string_view page_name, std::string_view title) {
    return "<li><a href=\"" + link_to(page_name) + "\"><span class=\"icon\">" + std::string(icon) +
           "</span> " + escape_html(title) + "</a></li>";
}

std::string section(std::string_view heading, const std::vector<IndexGroup>& groups) {
    std::string out;
    for (const auto& group : groups) {
        if (group.items.empty()) continue;
        if (out.empty()) out = "<h3>" + std::string(heading) + "</h3>";
        if (!group.folder.empty()) out += "<h4 class=\"folder\">\U0001F4C2 " + escape_html(group.folder) + "/</h4>";
        out += "<ul>";
        for (const auto& item : group.items) out += item;
        out += "</ul>";
    }
    return out;
}

}  // namespace

std::string document_item(std::string_view page_name, std::string_view title) {
    return index_item("\U0001F4D8", page_name, title);
}

std::string diagram_item(std::string_view page_name, std::string_view title) {
    return index_item("\U0001F4CA", page_name, title);
}

std::string render_index(std::string_view index_title, const std::vector<std::string>& document_items,
                         const std::vector<std::string>& diagram_items) {
    return render_index(index_title, std::vector<IndexGroup>{{"", document_items}},
                        std::vector<IndexGroup>{{"", diagram_items}});
}

std::string render_index(std::string_view index_title, const std::vector<IndexGroup>& documents,
                         const std::vector<IndexGroup>& diagrams) {
    return fill_template(kIndexTemplate, {{"index_title", escape_html(index_title)},
                                          {"md_section", section("Documentation", documents)},
                                          {"chart_section", section("Flow Charts", diagrams)}});
}

bool has_extension(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) return false;
    return ::velutil::equal_ignoring_ascii_case(name.substr(name.size() - extension.size()), extension);
}

std::string base_name_of(const std::string& file_name) { return ::velutil::split_extension(file_name).stem; }

std::string normalize_line_ends(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

PageNames::PageNames() { taken_.insert("index.html"); }

bool PageNames::is_free(const std::string& stem, const std::vector<std::string>& extensions) const {
    for (const auto& extension : extensions) {
        if (taken_.count(stem + extension) != 0) return false;
    }
    return true;
}

std::string PageNames::free_stem(const std::string& base, const std::vector<std::string>& extensions) const {
    if (is_free(base, extensions)) return base;
    for (int n = 2;; ++n) {
        std::string stem = base + "-" + std::to_string(n);
        if (is_free(stem, extensions)) return stem;
    }
}

void PageNames::take(const std::string& stem, const std::vector<std::string>& extensions) {
    for (const auto& extension : extensions) taken_.insert(stem + extension);
}

}  // namespace velkit::flowpage
