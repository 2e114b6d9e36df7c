#include "site_run.hpp"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "diagram_cache.hpp"
#include "diagram_drawer.hpp"
#include "digest.hpp"
#include "file_error.hpp"
#include "file_search.hpp"
#include "front_matter.hpp"
#include "leftovers.hpp"
#include "links.hpp"
#include "manifest.hpp"
#include "markdown_convert.hpp"
#include "markdown_source.hpp"
#include "page_html.hpp"
#include "paths.hpp"
#include "renderer.hpp"
#include "safe_files.hpp"
#include "site.hpp"
#include "site_chrome.hpp"
#include "site_drawings.hpp"
#include "source_tree.hpp"
#include "state.hpp"
#include "svg.hpp"
#include "text_kit.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/run_lock.hpp"
#include "velkit/frame/progress.hpp"
#include "velkit/frame/tried_path.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::flowpage {

namespace {

constexpr const char* kNothingConverted = "No .md or .mmd files were found in the input folder.";
// Text of a page kept for the search index; the rest of a very long page
// adds little to finding it.
constexpr size_t kSearchTextLimit = 20000;

[[noreturn]] void raise(py::handle type, const std::string& message) {
    py::set_error(type, py::str(message));
    throw py::error_already_set();
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool is_folder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string real_path(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string describe(const ::velutil::FileError& error) {
    return error.what_failed() + " " + frame::shown_bytes(error.path()) + " (" + std::strerror(error.error_number()) + ")";
}

// True when `path` holds exactly `content`: such a file is left alone, so
// that its time stays and sync tools see nothing new.
bool holds(const std::string& path, const std::string& content) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<size_t>(info.st_size) != content.size())
        return false;
    try {
        return ::velutil::read_file(path) == content;
    } catch (const ::velutil::FileError&) {
        return false;
    }
}

std::string count_of(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string lower_name(const std::string& relative) { return ::velutil::ascii_lower(::velutil::base_name(relative)); }

// Whitespace runs as one blank, the ends trimmed.
std::string collapse_blanks(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

struct FenceRef {
    size_t job = 0;
    int line = 0;  // 0 when it could not be found in the source
};

struct Document {
    std::string rel;     // relative to the input folder (bytes)
    std::string shown;   // for messages
    std::string folder;  // relative folder (bytes)
    std::string page;    // relative page path, "guide/a.html"
    std::string title;
    bool titled = false;     // from the title map
    bool converted = false;  // read and made HTML
    bool written = false;
    std::string source;  // the text as Markdown reads it
    std::string html;
    std::string token;
    std::vector<FenceRef> fences;
    std::set<std::string> ids;
    std::vector<std::pair<std::string, std::string>> headings;
};

struct Diagram {
    std::string rel;
    std::string shown;
    std::string folder;
    std::string stem;  // relative, without extension
    std::string title;
    std::optional<size_t> job;
    bool written = false;
};

struct IndexEntry {
    std::string folder;  // relative (bytes)
    std::string title;
    std::string item;
    int rank = 1;  // 0 for a folder's page: it leads its group
};

std::vector<std::string> parts_of(const std::string& path) {
    std::vector<std::string> parts;
    for (std::string_view part : ::velutil::split_on(path, '/')) parts.emplace_back(part);
    return parts;
}

// Natural order of folders, part by part: a folder before its sub-folders.
bool tree_less(const std::string& a, const std::string& b) {
    std::vector<std::string> x = parts_of(a), y = parts_of(b);
    for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (x[i] != y[i]) return natural_less(x[i], y[i]);
    }
    return x.size() < y.size();
}

class SiteRun {
public:
    SiteRun(const SiteOptions& options, frame::RunTally& tally)
        : options_(options), tally_(tally), log_(state().log), manifest_(Manifest::load(options.output_folder)) {}

    SiteResult run();

private:
    void warn(const std::string& text) {
        log_.warning(text);
        ++result_.warnings;
    }
    // Once per run for the same text: a document that links to the same
    // missing page ten times is told once.
    void warn_once(const std::string& text) {
        if (warned_.insert(text).second) warn(text);
    }

    void list_input();
    void plan_names();
    void read_documents();
    void convert_document(Document& doc);
    void read_diagrams();
    void draw();
    void plan_navigation();
    // The folder's index.md or README.md: first in its group.
    bool leads_folder(const Document& doc) const;
    void write_documents();
    void write_diagrams();
    bool write_index();
    void write_search();

    std::string finish_document(Document& doc);
    std::string linked(const std::string& html, const std::string& from_folder, const std::string& from_page,
                       const std::string& label, const std::set<std::string>* own_ids);
    std::optional<std::string> link_for(const std::string& url, const std::string& from_folder,
                                        const std::string& from_page, const std::string& label,
                                        const std::set<std::string>* own_ids);
    std::optional<std::string> page_link(const std::string& target_page, const std::string& from_page,
                                         const LinkTarget& target, const std::string& url, const std::string& label);
    std::string dressed(const std::string& html, const std::string& page) const {
        return dress_page(html, chrome_, page);
    }
    void copy_assets(const Document& doc, bool& failed);
    // Writes `relative` in the output folder unless flowpage did not write
    // what is there; false (and an error naming it) when it is not written.
    bool write_owned(const std::string& relative, const std::string& content, const std::string& item);
    void log_foreign_file(const std::string& relative, const std::string& item) const;
    std::string out_path(const std::string& relative) const {
        return ::velutil::join_path(options_.output_folder, relative);
    }

    const SiteOptions& options_;
    frame::RunTally& tally_;
    const helperlib::Logger& log_;
    Manifest manifest_;
    std::optional<::velutil::FolderLock> run_lock_;  // held from the first change in the output folder
    PageNames names_;
    SourceTree tree_;
    std::vector<Document> documents_;
    std::vector<Diagram> diagrams_;
    std::map<std::string, size_t> document_of_;   // source path -> documents_ index
    std::map<std::string, std::string> page_of_;  // source path -> page path
    std::map<std::string, std::string> doc_of_page_;  // page path -> source path, of documents and diagrams
    std::map<std::string, std::string> folder_page_;  // folder -> its page
    std::string top_page_;  // the top folder's index.md or README.md, which comes first
    std::vector<DiagramJob> jobs_;
    std::vector<Drawing> drawings_;
    std::map<std::string, std::vector<std::string>> assets_;  // document -> relative paths to copy
    std::vector<IndexEntry> document_items_, diagram_items_;
    std::set<std::string> copied_;
    std::set<std::string> warned_;
    std::string input_real_;
    SiteChrome chrome_;
    std::vector<SearchEntry> search_;
    std::optional<MarkdownConverter> converter_;
    SiteResult result_;
};

void SiteRun::list_input() {
    tree_ = list_source_tree(options_.input_folder, options_.output_folder);
    for (const auto& rel : tree_.leaving) {
        if (is_folder(::velutil::join_path(options_.input_folder, rel))) {
            // Nothing of it was read, so there is nothing known to be missing.
            log_.info(frame::shown_bytes(rel) + ": folder not entered: it is a symbolic link that leads outside the input folder");
        } else {
            warn(frame::shown_bytes(rel) + ": not converted: it is a symbolic link that leads outside the input folder");
        }
    }
    for (const auto& folder : tree_.unreadable) warn("Folder not listed: " + frame::shown_bytes(folder));
    frame::log_passed_over(log_, tree_.not_regular);
}

void SiteRun::plan_names() {
    // Names are handed out before anything is converted, so that links
    // between documents know every page's name, "-2" renames included.
    names_.take("_flowpage/search", {".js"});
    names_.take("_flowpage/search-index", {".js"});
    auto title_of = [](const std::map<std::string, std::string>& titles, const std::string& rel) -> const std::string* {
        auto found = titles.find(rel);
        return found != titles.end() ? &found->second : nullptr;
    };
    for (const auto& rel : tree_.documents) {
        Document doc;
        doc.rel = rel;
        doc.shown = frame::shown_bytes(rel);
        doc.folder = folder_of(rel);
        std::string base = base_name_of(rel);
        std::string stem = names_.free_stem(base, {".html"});
        names_.take(stem, {".html"});
        doc.page = stem + ".html";
        const std::string* title = title_of(options_.doc_titles, rel);
        doc.titled = title != nullptr;
        doc.title = doc.titled ? *title : frame::shown_bytes(::velutil::base_name(base));
        page_of_[rel] = doc.page;
        doc_of_page_[doc.page] = rel;
        document_of_[rel] = documents_.size();
        documents_.push_back(std::move(doc));
    }
    for (const auto& rel : tree_.diagrams) {
        Diagram diagram;
        diagram.rel = rel;
        diagram.shown = frame::shown_bytes(rel);
        diagram.folder = folder_of(rel);
        std::string base = base_name_of(rel);
        diagram.stem = names_.free_stem(base, {".html", ".svg"});
        names_.take(diagram.stem, {".html", ".svg"});
        const std::string* title = title_of(options_.chart_titles, rel);
        diagram.title = title != nullptr ? *title : frame::shown_bytes(::velutil::base_name(base));
        if (page_of_.count(rel) == 0) page_of_[rel] = diagram.stem + ".html";
        doc_of_page_[diagram.stem + ".html"] = rel;
        diagrams_.push_back(std::move(diagram));
    }
    // A folder's page: its index.md, else its README.md. The top folder's
    // page is the site's index.
    folder_page_[""] = "index.html";
    for (const char* wanted : {"index.md", "readme.md"}) {
        for (const auto& doc : documents_) {
            if (doc.folder.empty() && lower_name(doc.rel) == wanted && top_page_.empty()) top_page_ = doc.rel;
            if (!doc.folder.empty() && lower_name(doc.rel) == wanted && folder_page_.count(doc.folder) == 0)
                folder_page_[doc.folder] = doc.page;
        }
    }
}

// The line of the opening fence of `source` at or after `from` (counted
// from 1): fences may be indented, quoted or in list items, so the fence's
// first line is looked for after a line that opens a fence.
int fence_line(const std::vector<std::string_view>& lines, size_t& from, const std::string& source) {
    std::string_view first(source);
    first = first.substr(0, first.find('\n'));
    size_t start = first.find_first_not_of(" \t");
    first = start == std::string_view::npos ? std::string_view() : first.substr(start);
    for (size_t i = from; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        size_t mark = line.find_first_of("`~");
        if (mark == std::string_view::npos || line.substr(mark, 3) != std::string(3, line[mark])) continue;
        std::string_view before = line.substr(0, mark);
        if (before.find_first_not_of(" \t>-*+0123456789.)") != std::string_view::npos) continue;
        std::string info = ::velutil::ascii_lower(std::string(line.substr(mark)));
        if (info.find("mermaid") == std::string::npos) continue;
        bool matches = first.empty() || (i + 1 < lines.size() && lines[i + 1].find(first) != std::string_view::npos);
        if (!matches) continue;
        from = i + 1;
        return static_cast<int>(i + 1);
    }
    return 0;
}

std::vector<std::string_view> split_lines(std::string_view text) { return ::velutil::split_on(text, '\n'); }

void SiteRun::convert_document(Document& doc) {
    if (!converter_) converter_.emplace(state().markdown);
    std::string bytes = ::velutil::read_file(::velutil::join_path(options_.input_folder, doc.rel));
    std::string text = normalize_line_ends(without_bom(bytes));
    py::bytes(text).attr("decode")("utf-8");  // refuses what is not UTF-8, saying where
    FrontMatter front = split_front_matter(text);
    if (front.found) {
        std::optional<std::string> title;
        bool usable = true;
        try {
            title = front_matter_title(front.yaml);
            usable = title.has_value();
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            usable = false;
            warn(doc.shown + ": the block between the --- lines at the top is not YAML front matter (" +
                 frame::shown(error.value()) + "); it is shown as text");
        }
        if (usable) {
            text = std::move(front.body);
            if (!doc.titled && !title->empty()) {
                doc.title = *title;
                doc.titled = true;
            }
        }
    }
    doc.source = text;
    doc.token = "flowpagefence" + sha256_hex(text).substr(0, 12) + "n";
    std::vector<std::string_view> lines = split_lines(doc.source);
    size_t search_from = 0;
    FenceSink sink = [&](std::string source) {
        if (!source.empty() && source.back() != '\n') source += '\n';
        std::string marker = fence_marker(doc.token, doc.fences.size());
        doc.fences.push_back({jobs_.size(), fence_line(lines, search_from, source)});
        jobs_.push_back({source, doc.shown});
        return marker;
    };
    std::string html = add_heading_ids(converter_->convert(text, sink));
    doc.ids = element_ids(html);
    if (!doc.titled) {
        std::string heading = first_heading_text(html);
        if (!heading.empty()) doc.title = heading;
    }
    doc.headings = heading_list(html);
    doc.html = std::move(html);
    doc.converted = true;
}

void SiteRun::read_documents() {
    for (Document& doc : documents_) {
        log_.info("Processing Markdown: " + doc.shown + " -> " + doc.title);
        frame::ItemScope item(doc.shown);
        size_t jobs_before = jobs_.size();
        std::string failure;
        try {
            if (!manifest_.may_write(doc.page)) {
                log_foreign_file(doc.page, doc.shown);
                tally_.failed(doc.shown);
                continue;
            }
            convert_document(doc);
        } catch (const ::velutil::FileError& error) {
            failure = describe(error);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            failure = frame::shown(error.value());
        }
        if (!failure.empty()) {
            jobs_.resize(jobs_before);
            doc.fences.clear();
            log_.error("Failed to process " + doc.shown + ": " + failure);
            tally_.failed(doc.shown);
        }
    }
}

void SiteRun::read_diagrams() {
    for (Diagram& diagram : diagrams_) {
        log_.info("Converting diagram: " + diagram.shown + " -> " + diagram.title + " ...");
        std::string mmd_path = ::velutil::join_path(options_.input_folder, diagram.rel);
        bool ours = true;
        for (const std::string& relative : {diagram.stem + ".svg", diagram.stem + ".html"}) {
            if (ours && !manifest_.may_write(relative)) {
                log_foreign_file(relative, diagram.shown);
                ours = false;
            }
        }
        if (!ours) {
            tally_.failed(diagram.shown);
            continue;
        }
        std::string failure;
        std::string source;
        try {
            source = normalize_line_ends(::velutil::read_file(mmd_path));
            std::string folder = folder_of(diagram.stem);
            if (!folder.empty()) ::velutil::make_dirs(out_path(folder));
        } catch (const ::velutil::FileError& error) {
            failure = describe(error);
        }
        if (!failure.empty()) {
            log_.error("Failed to convert " + diagram.shown + ": " + failure);
            tally_.failed(diagram.shown);
            continue;
        }
        diagram.job = jobs_.size();
        jobs_.push_back({source, diagram.shown});
    }
}

void SiteRun::draw() { drawings_ = draw_diagrams(jobs_, out_path(kCacheFolderName), options_.renderer_timeout); }

bool SiteRun::leads_folder(const Document& doc) const {
    if (doc.folder.empty()) return doc.rel == top_page_;
    auto page = folder_page_.find(doc.folder);
    return page != folder_page_.end() && page->second == doc.page;
}

void SiteRun::plan_navigation() {
    // The pages that this run writes, in reading order: folder by folder,
    // the folder's own page first, then its documents and its diagrams by
    // title.
    struct Entry {
        NavPage page;
        std::string folder;
        int rank;
    };
    std::vector<Entry> entries;
    for (const Document& doc : documents_) {
        if (!doc.converted) continue;
        bool folder_page = leads_folder(doc);
        entries.push_back({{doc.page, doc.title, frame::shown_bytes(doc.folder), folder_page}, doc.folder,
                           folder_page ? 0 : 1});
    }
    for (const Diagram& diagram : diagrams_) {
        if (!diagram.job || !drawings_[*diagram.job].drawn) continue;
        entries.push_back({{diagram.stem + ".html", diagram.title, frame::shown_bytes(diagram.folder), false},
                           diagram.folder, 2});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) return tree_less(a.folder, b.folder);
        if (a.rank != b.rank) return a.rank < b.rank;
        return natural_less(a.page.title, b.page.title);
    });
    chrome_.site_title = options_.index_title;
    for (auto& entry : entries) chrome_.pages.push_back(std::move(entry.page));
}

std::optional<std::string> SiteRun::page_link(const std::string& target_page, const std::string& from_page,
                                              const LinkTarget& target, const std::string& url,
                                              const std::string& label) {
    std::string link = link_to(relative_link_path(from_page, target_page)) + target.suffix;
    std::string fragment = fragment_of(target.suffix);
    auto doc = document_of_.find(target.path);
    if (doc != document_of_.end()) {
        const Document& other = documents_[doc->second];
        if (!other.converted) {
            warn_once(label + ": link to a document that failed: " + frame::shown_bytes(url));
        } else if (!fragment.empty() && other.ids.count(fragment) == 0) {
            warn_once(label + ": anchor not found: " + frame::shown_bytes(url) + " (" + other.shown +
                      " has no heading or anchor \"" + frame::shown_bytes(fragment) + "\")");
        }
    }
    return link;
}

std::optional<std::string> SiteRun::link_for(const std::string& url, const std::string& from_folder,
                                             const std::string& from_page, const std::string& label,
                                             const std::set<std::string>* own_ids) {
    LinkTarget target = link_target(url, from_folder);
    std::string shown_url = frame::shown_bytes(url);
    switch (target.kind) {
        case LinkKind::kElsewhere: return std::nullopt;
        case LinkKind::kSamePage: {
            std::string fragment = fragment_of(target.suffix);
            if (own_ids != nullptr && !fragment.empty() && own_ids->count(fragment) == 0)
                warn_once(label + ": anchor not found: " + shown_url + " (no heading or anchor of that name on the page)");
            return std::nullopt;
        }
        case LinkKind::kSiteAbsolute:
            warn_once(label + ": link from the site's root does not work in a site read from its folder: " + shown_url +
                      " (write it relative to the document)");
            return std::nullopt;
        case LinkKind::kLocalFile:
            warn_once(label + ": file: link works only on this computer: " + shown_url);
            return std::nullopt;
        case LinkKind::kOutside:
            warn_once(label + ": not copying " + shown_url + ": it is outside the input folder");
            return std::nullopt;
        case LinkKind::kInside: break;
    }
    auto page = page_of_.find(target.path);
    if (page != page_of_.end() && !target.folder) return page_link(page->second, from_page, target, url, label);
    std::string source = ::velutil::join_path(options_.input_folder, target.path);
    if (target.path.empty() || target.folder || is_folder(source)) {
        auto folder_page = folder_page_.find(target.path);
        if (folder_page == folder_page_.end()) {
            if (!exists(source)) warn_once(label + ": link target not found: " + shown_url);
            else warn_once(label + ": link to a folder without a page (no index.md or README.md in it): " + shown_url);
            return std::nullopt;
        }
        LinkTarget into = target;
        auto doc = std::find_if(page_of_.begin(), page_of_.end(),
                                [&](const auto& entry) { return entry.second == folder_page->second; });
        into.path = doc != page_of_.end() ? doc->first : "";
        return page_link(folder_page->second, from_page, into, url, label);
    }
    // A link to a page by the name this site gives it ("zlib.html" for
    // zlib.md), as documents written for a built site have them.
    auto written = doc_of_page_.find(target.path);
    if (written != doc_of_page_.end()) {
        LinkTarget into = target;
        into.path = written->second;
        return page_link(target.path, from_page, into, url, label);
    }
    std::string real = real_path(source);
    if (real.empty() && names_.taken(target.path)) return link_to(relative_link_path(from_page, target.path)) + target.suffix;
    if (real.empty() || target.path.find('\0') != std::string::npos) {
        warn_once(label + ": link target not found: " + shown_url);
        return std::nullopt;
    }
    if (real.compare(0, input_real_.size() + 1, input_real_ + "/") != 0) {
        warn_once(label + ": not copying " + shown_url + ": it is outside the input folder");
        return std::nullopt;
    }
    struct stat info {};
    if (::stat(real.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    bool ours = names_.taken(target.path) || target.path == kManifestName ||
                target.path.rfind(std::string(kCacheFolderName) + "/", 0) == 0;
    if (ours) {
        warn_once(label + ": not copying " + shown_url + ": a page of this site has that name");
        return std::nullopt;
    }
    assets_[from_page].push_back(target.path);
    return link_to(relative_link_path(from_page, target.path)) + target.suffix;
}

std::string SiteRun::linked(const std::string& html, const std::string& from_folder, const std::string& from_page,
                            const std::string& label, const std::set<std::string>* own_ids) {
    return rewrite_urls(html, [&](const std::string& url) { return link_for(url, from_folder, from_page, label, own_ids); });
}

std::string SiteRun::finish_document(Document& doc) {
    std::vector<std::string> parts;
    for (size_t n = 0; n < doc.fences.size(); ++n) {
        const FenceRef& fence = doc.fences[n];
        const Drawing& drawing = drawings_[fence.job];
        std::string where = doc.shown + (fence.line > 0 ? ", line " + std::to_string(fence.line) : "");
        if (drawing.drawn) {
            std::string svg = with_svg_id(drawing.svg, "flowpage-diagram-" + std::to_string(n + 1));
            parts.push_back(embed_drawing(linked(svg, doc.folder, doc.page, where + " (drawing)", nullptr)));
            continue;
        }
        warn(where + ": diagram not drawn, shown as code: " + frame::shown_bytes(drawing.problem));
        tally_.failed(where);
        if (!drawing.output.empty()) log_.debug(py::str("Renderer output:\n" + frame::shown_bytes(drawing.output)));
        parts.push_back(fence_as_code(jobs_[fence.job].source));
    }
    std::string html = linked(doc.html, doc.folder, doc.page, doc.shown, &doc.ids);
    return put_in_place(html, doc.token, parts);
}

void SiteRun::log_foreign_file(const std::string& relative, const std::string& item) const {
    log_.error("Failed to write " + frame::shown_bytes(relative) + " for " + item + ": " + options_.output_shown +
               " holds a file of that name that flowpage did not write; it is left as it is");
}

bool SiteRun::write_owned(const std::string& relative, const std::string& content, const std::string& item) {
    if (!manifest_.may_write(relative)) {
        log_foreign_file(relative, item);
        return false;
    }
    std::string path = out_path(relative);
    manifest_.add(relative);
    if (holds(path, content)) return true;
    std::string folder = ::velutil::dir_name(path);
    if (!folder.empty()) ::velutil::make_dirs(folder);
    // Pages are rebuilt from their sources at will: no waiting for the disk.
    ::velutil::write_file_atomically(path, content.data(), content.size(), ::velutil::Durability::kLeaveToSystem);
    return true;
}

void SiteRun::copy_assets(const Document& doc, bool& failed) {
    for (const auto& relative : assets_[doc.page]) {
        if (!copied_.insert(relative).second) continue;
        std::string source = ::velutil::join_path(options_.input_folder, relative);
        // With the output folder inside the input folder's tree (or the same
        // folder) the asset may already be where it belongs.
        if (real_path(source) == real_path(out_path(relative))) continue;
        try {
            std::string content = ::velutil::read_file(source);
            if (!write_owned(relative, content, doc.shown)) failed = true;
        } catch (const ::velutil::FileError& error) {
            log_.error("Failed to copy " + frame::shown_bytes(relative) + " for " + doc.shown + ": " + describe(error));
            failed = true;
        }
    }
}

void SiteRun::write_documents() {
    for (Document& doc : documents_) {
        frame::current_progress().next(doc.shown);
        if (!doc.converted) continue;
        frame::ItemScope item(doc.shown);
        std::string failure;
        bool asset_failed = false;
        try {
            std::string body = finish_document(doc);
            doc.written = write_owned(doc.page, dressed(render_page(doc.title, body), doc.page), doc.shown);
            if (doc.written) copy_assets(doc, asset_failed);
        } catch (const ::velutil::FileError& error) {
            failure = describe(error);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            failure = frame::shown(error.value());
        }
        if (!failure.empty()) log_.error("Failed to process " + doc.shown + ": " + failure);
        if (doc.written) {
            bool folder_page = leads_folder(doc);
            document_items_.push_back({doc.folder, doc.title, document_item(doc.page, doc.title), folder_page ? 0 : 1});
            search_.push_back({doc.page, doc.title, doc.headings,
                               std::string(::velutil::utf8_prefix(collapse_blanks(html_text(doc.html)), kSearchTextLimit))});
            ++result_.documents;
        }
        if (doc.written && !asset_failed) tally_.done();
        else tally_.failed(doc.shown);
    }
}

void SiteRun::write_diagrams() {
    for (Diagram& diagram : diagrams_) {
        frame::current_progress().next(diagram.shown);
        if (!diagram.job) continue;
        const Drawing& drawing = drawings_[*diagram.job];
        if (drawing.output_missing) {
            raise(PyExc_FileNotFoundError,
                  "The renderer reported success for " + diagram.shown + " but wrote no SVG file");
        }
        if (!drawing.drawn) {
            log_.error("Failed to convert " + diagram.shown + ": " + frame::shown_bytes(drawing.problem));
            if (!drawing.output.empty()) log_.debug(py::str("Renderer output:\n" + frame::shown_bytes(drawing.output)));
            tally_.failed(diagram.shown);
            continue;
        }
        std::string page_name = diagram.stem + ".html";
        std::string svg = linked(normalize_line_ends(drawing.svg), diagram.folder, page_name, diagram.shown, nullptr);
        std::string body = embed_drawing(svg) + "\n<p><a href=\"" + percent_encode(::velutil::base_name(diagram.stem) + ".svg") +
                           "\">Full-size drawing (SVG)</a></p>";
        bool written = false;
        try {
            written = write_owned(diagram.stem + ".svg", drawing.svg, diagram.shown) &&
                      write_owned(page_name, dressed(render_page(diagram.title, body), page_name), diagram.shown);
        } catch (const ::velutil::FileError& error) {
            raise(PyExc_OSError, describe(error));
        }
        if (!written) {
            tally_.failed(diagram.shown);
            continue;
        }
        diagram.written = true;
        diagram_items_.push_back({diagram.folder, diagram.title, diagram_item(page_name, diagram.title), 1});
        search_.push_back({page_name, diagram.title, {}, std::string(::velutil::utf8_prefix(collapse_blanks(jobs_[*diagram.job].source), kSearchTextLimit))});
        ++result_.diagrams;
        tally_.done();
    }
}

std::vector<IndexGroup> grouped(std::vector<IndexEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const IndexEntry& a, const IndexEntry& b) {
        if (a.folder != b.folder) return tree_less(a.folder, b.folder);
        if (a.rank != b.rank) return a.rank < b.rank;
        return natural_less(a.title, b.title);
    });
    std::vector<IndexGroup> groups;
    for (const auto& entry : entries) {
        std::string folder = frame::shown_bytes(entry.folder);
        if (groups.empty() || groups.back().folder != folder) groups.push_back({folder, {}});
        groups.back().items.push_back(entry.item);
    }
    return groups;
}

bool SiteRun::write_index() {
    log_.info("Generating index.html ...");
    try {
        std::string index = render_index(options_.index_title, grouped(document_items_), grouped(diagram_items_));
        return write_owned("index.html", dressed(index, "index.html"), "the index");
    } catch (const ::velutil::FileError& error) {
        raise(PyExc_OSError, describe(error));
    }
}

void SiteRun::write_search() {
    // In reading order, as the navigation lists them.
    std::vector<SearchEntry> ordered;
    for (const auto& page : chrome_.pages) {
        auto found = std::find_if(search_.begin(), search_.end(), [&](const SearchEntry& e) { return e.path == page.path; });
        if (found != search_.end()) ordered.push_back(*found);
    }
    try {
        write_owned(kSearchIndexName, search_index_script(ordered), "the search index");
        write_owned(kSearchScriptName, kSearchScript, "the search box");
    } catch (const ::velutil::FileError& error) {
        log_.error("Failed to write the search index: " + describe(error));
    }
}

SiteResult SiteRun::run() {
    std::time_t start = std::time(nullptr);
    if (!find_executable("mmdc", std::getenv("PATH"))) {
        std::string message =
            "Mermaid CLI ('mmdc') is not installed or not in PATH.\n"
            "Please install it via: npm install -g @mermaid-js/mermaid-cli";
        // Two lines of their own: a logged line never holds a line break.
        for (size_t start = 0, end = 0; start < message.size(); start = end + 1) {
            end = std::min(message.find('\n', start), message.size());
            log_.error(message.substr(start, end - start));
        }
        tally_.run_failed();
        raise(PyExc_RuntimeError, message);
    }
    if (!exists(options_.input_folder)) {
        tally_.run_failed();
        raise(PyExc_FileNotFoundError, "Input folder not found: " + frame::shown_tried(py::bytes(options_.input_folder)));
    }
    if (!is_folder(options_.input_folder)) {
        tally_.run_failed();
        raise(PyExc_NotADirectoryError, "Input folder " + options_.input_shown + " is not a folder");
    }
    if (!exists(options_.output_folder)) {
        ::velutil::make_dirs(options_.output_folder);
        log_.info("Created output directory: " + options_.output_shown);
    }
    // Before anything in the folder is touched: leftovers of a live run are
    // that run's, not leftovers.
    if (auto lock = frame::lock_run_folder(options_.output_folder, frame::MissingFolder::kCreate)) {
        run_lock_.emplace(std::move(*lock));
    }
    remove_scratch_leftovers(options_.output_folder, start);
    // A rerun that changes nothing writes no file, so the hidden temporary
    // files a killed run left are cleared here rather than by the next write.
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::set<std::string> written_folders{""};
    for (const auto& entry : manifest_.entries()) written_folders.insert(::velutil::dir_name(entry));
    for (const auto& folder : written_folders)
        ::velutil::remove_stale_temporaries(out_path(folder), now);
    input_real_ = real_path(options_.input_folder);
    list_input();
    plan_names();
    read_documents();
    read_diagrams();
    draw();
    plan_navigation();
    {
        frame::ItemProgress progress(documents_.size() + diagrams_.size());
        write_documents();
        try {
            write_diagrams();
        } catch (...) {
            manifest_.save();
            throw;
        }
    }
    if (result_.documents == 0 && result_.diagrams == 0) {
        if (!manifest_.entries().empty()) manifest_.save();
        size_t found = documents_.size() + diagrams_.size();
        result_.message = found == 0 ? kNothingConverted
                                     : "All " + std::to_string(found) + (found == 1 ? " file" : " files") +
                                           " failed; nothing was converted.";
        return result_;
    }
    result_.success = write_index();
    write_search();
    manifest_.save();
    if (result_.success) {
        result_.message = "Successfully generated documentation in: " + options_.output_shown + "/index.html";
    } else {
        tally_.run_failed();
        result_.message = "The index was not written: " + options_.output_shown +
                          "/index.html is a file that flowpage did not write.";
    }
    return result_;
}

}  // namespace

SiteResult run_site(const SiteOptions& options, frame::RunTally& tally) {
    SiteRun run(options, tally);
    SiteResult result = run.run();
    size_t problems = result.warnings + tally.failed_count();
    if (options.strict && problems > 0) {
        // The site is written all the same: the reader keeps the last build.
        state().log.error("Strict mode: the site was written, but the run counts as failed: " +
                          count_of(result.warnings, "warning", "warnings") + " and " +
                          count_of(tally.failed_count(), "failed item", "failed items"));
        tally.run_failed();
    }
    return result;
}

std::string done_text(const SiteResult& result) {
    std::string text = "Converted " + count_of(result.documents, "document", "documents") + " and " +
                       count_of(result.diagrams, "diagram", "diagrams");
    if (result.warnings > 0) text += "; " + count_of(result.warnings, "warning", "warnings");
    return text;
}

}  // namespace velkit::flowpage
