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
#include "leftovers.hpp"
#include "links.hpp"
#include "manifest.hpp"
#include "markdown_source.hpp"
#include "page_html.hpp"
#include "paths.hpp"
#include "renderer.hpp"
#include "safe_files.hpp"
#include "site.hpp"
#include "site_drawings.hpp"
#include "state.hpp"
#include "svg.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/progress.hpp"
#include "velkit/frame/tried_path.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::flowpage {

namespace {

constexpr const char* kNothingConverted = "No .md or .mmd files were found in the input folder.";

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

void write_text(const std::string& path, const std::string& content) {
    // Pages are rebuilt from their sources at will: no waiting for the disk.
    ::velutil::write_file_atomically(path, content.data(), content.size(), ::velutil::Durability::kLeaveToSystem);
}

std::string count_of(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

struct Document {
    std::string name;   // as listed (bytes)
    std::string shown;  // for messages
    std::string stem;   // page name without ".html"
    std::string title;  // from the title map, else set from the first heading
    bool titled = false;
    bool readable = false;
    PreparedDocument prepared;
    std::string token;
    std::vector<size_t> jobs;  // drawing of each fence
};

struct Diagram {
    std::string name;
    std::string shown;
    std::string stem;
    std::string title;
    std::optional<size_t> job;
};

struct IndexEntry {
    std::string title;
    std::string item;
};

class SiteRun {
public:
    SiteRun(const SiteOptions& options, frame::RunTally& tally)
        : options_(options), tally_(tally), log_(state().log), manifest_(Manifest::load(options.output_folder)) {}

    SiteResult run();

private:
    void list_input();
    void plan_names();
    void read_documents();
    void read_diagrams();
    void draw();
    void write_documents();
    void write_diagrams();
    bool write_index();

    std::string convert_markdown(Document& doc);
    std::optional<std::string> link_for(const Document& doc, const std::string& url);
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
    PageNames names_;
    std::vector<std::string> md_names_, mmd_names_, folders_;
    std::vector<Document> documents_;
    std::vector<Diagram> diagrams_;
    std::map<std::string, std::string> page_of_;  // source name -> page name
    std::vector<DiagramJob> jobs_;
    std::vector<Drawing> drawings_;
    std::map<std::string, std::vector<std::string>> assets_;  // document -> relative paths to copy
    std::vector<IndexEntry> document_items_, diagram_items_;
    std::set<std::string> copied_;
    std::string input_real_;
    SiteResult result_;
};

void SiteRun::list_input() {
    py::object listing = py::module_::import("os").attr("listdir")(py::bytes(options_.input_folder));
    for (py::handle entry : listing) {
        std::string name = entry.cast<std::string>();
        if (has_extension(name, ".md")) md_names_.push_back(name);
        else if (has_extension(name, ".mmd")) mmd_names_.push_back(name);
        else if (name.rfind(".flowpage", 0) != 0 && is_folder(::velutil::join_path(options_.input_folder, name)))
            folders_.push_back(name);
    }
}

void SiteRun::plan_names() {
    // Names are handed out before anything is converted, so that links
    // between documents know every page's name, "-2" renames included.
    for (const auto& name : md_names_) {
        Document doc;
        doc.name = name;
        doc.shown = frame::shown_bytes(name);
        doc.stem = names_.free_stem(base_name_of(name), {".html"});
        names_.take(doc.stem, {".html"});
        auto titled = options_.doc_titles.find(name);
        doc.titled = titled != options_.doc_titles.end();
        doc.title = doc.titled ? titled->second : frame::shown_bytes(base_name_of(name));
        page_of_[name] = doc.stem + ".html";
        documents_.push_back(std::move(doc));
    }
    for (const auto& name : mmd_names_) {
        Diagram diagram;
        diagram.name = name;
        diagram.shown = frame::shown_bytes(name);
        diagram.stem = names_.free_stem(base_name_of(name), {".html", ".svg"});
        names_.take(diagram.stem, {".html", ".svg"});
        auto titled = options_.chart_titles.find(name);
        diagram.title = titled != options_.chart_titles.end() ? titled->second : frame::shown_bytes(base_name_of(name));
        if (page_of_.count(name) == 0) page_of_[name] = diagram.stem + ".html";
        diagrams_.push_back(std::move(diagram));
    }
}

void SiteRun::read_documents() {
    for (Document& doc : documents_) {
        log_.info("Processing Markdown: " + doc.shown + " -> " + doc.title);
        frame::ItemScope item(doc.shown);
        std::string failure;
        try {
            std::string bytes = ::velutil::read_file(::velutil::join_path(options_.input_folder, doc.name));
            std::string text = normalize_line_ends(without_bom(bytes));
            py::bytes(text).attr("decode")("utf-8");  // refuses what is not UTF-8, saying where
            doc.token = "flowpagefence" + sha256_hex(text).substr(0, 12) + "n";
            doc.prepared = take_mermaid_fences(text, doc.token);
            for (const auto& fence : doc.prepared.fences) {
                doc.jobs.push_back(jobs_.size());
                jobs_.push_back({fence.source, "", ""});
            }
            doc.readable = true;
        } catch (const ::velutil::FileError& error) {
            failure = describe(error);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            failure = frame::shown(error.value());
        }
        if (!failure.empty()) {
            log_.error("Failed to process " + doc.shown + ": " + failure);
            tally_.failed(doc.shown);
        }
    }
}

void SiteRun::read_diagrams() {
    for (Diagram& diagram : diagrams_) {
        log_.info("Converting diagram: " + diagram.shown + " -> " + diagram.title + " ...");
        std::string mmd_path = ::velutil::join_path(options_.input_folder, diagram.name);
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
        } catch (const ::velutil::FileError& error) {
            failure = describe(error);
        }
        if (!failure.empty()) {
            log_.error("Failed to convert " + diagram.shown + ": " + failure);
            tally_.failed(diagram.shown);
            continue;
        }
        // The renderer may draw straight into the output folder: the name is ours from here on.
        manifest_.add(diagram.stem + ".svg");
        diagram.job = jobs_.size();
        jobs_.push_back({source, mmd_path, out_path(diagram.stem + ".svg")});
    }
}

void SiteRun::draw() { drawings_ = draw_diagrams(jobs_, out_path(kCacheFolderName)); }

std::optional<std::string> SiteRun::link_for(const Document& doc, const std::string& url) {
    LinkTarget target = link_target(url);
    if (target.kind == LinkKind::kElsewhere) return std::nullopt;
    std::string shown_url = frame::shown_bytes(url);
    if (target.kind == LinkKind::kOutside) {
        log_.warning(doc.shown + ": not copying " + shown_url + ": it is outside the input folder");
        return std::nullopt;
    }
    auto page = page_of_.find(target.path);
    if (page != page_of_.end()) return link_to(page->second) + target.suffix;
    std::string source = ::velutil::join_path(options_.input_folder, target.path);
    std::string real = real_path(source);
    if (real.empty() && names_.taken(target.path)) return std::nullopt;  // a page of this site, such as index.html
    if (real.empty() || target.path.find('\0') != std::string::npos) {
        log_.warning(doc.shown + ": link target not found: " + shown_url);
        return std::nullopt;
    }
    if (real.compare(0, input_real_.size() + 1, input_real_ + "/") != 0) {
        log_.warning(doc.shown + ": not copying " + shown_url + ": it is outside the input folder");
        return std::nullopt;
    }
    struct stat info {};
    if (::stat(real.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    bool ours = names_.taken(target.path) || target.path == kManifestName ||
                target.path.rfind(std::string(kCacheFolderName) + "/", 0) == 0;
    if (ours) {
        log_.warning(doc.shown + ": not copying " + shown_url + ": a page of this site has that name");
        return std::nullopt;
    }
    assets_[doc.name].push_back(target.path);
    return link_to(target.path) + target.suffix;
}

std::string SiteRun::convert_markdown(Document& doc) {
    ModuleState& module = state();
    py::object html_object = module.markdown.attr("markdown")(
        py::bytes(doc.prepared.text).attr("decode")("utf-8"), py::arg("extensions") = py::make_tuple("fenced_code", "tables"));
    std::string html = html_object.cast<std::string>();
    std::vector<std::string> parts;
    for (size_t n = 0; n < doc.jobs.size(); ++n) {
        const Drawing& drawing = drawings_[doc.jobs[n]];
        const MermaidFence& fence = doc.prepared.fences[n];
        if (drawing.drawn) {
            parts.push_back(embed_drawing(with_svg_id(drawing.svg, "flowpage-diagram-" + std::to_string(n + 1))));
            continue;
        }
        log_.warning(doc.shown + ", line " + std::to_string(fence.line) + ": diagram not drawn, shown as code: " +
                     frame::shown_bytes(drawing.problem));
        if (!drawing.output.empty()) log_.debug(py::str("Renderer output:\n" + frame::shown_bytes(drawing.output)));
        parts.push_back(fence_as_code(fence.source));
    }
    // Headings and links are the document's own: the drawings go in last.
    html = add_heading_ids(html);
    if (!doc.titled) {
        std::string heading = first_heading_text(html);
        if (!heading.empty()) doc.title = heading;
    }
    html = rewrite_urls(html, [&](const std::string& url) { return link_for(doc, url); });
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
    std::string folder = ::velutil::dir_name(path);
    if (!folder.empty()) ::velutil::make_dirs(folder);
    manifest_.add(relative);
    write_text(path, content);
    return true;
}

void SiteRun::copy_assets(const Document& doc, bool& failed) {
    for (const auto& relative : assets_[doc.name]) {
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
        if (!doc.readable) continue;
        frame::ItemScope item(doc.shown);
        std::string failure;
        bool written = false;
        bool asset_failed = false;
        try {
            std::string body = convert_markdown(doc);
            written = write_owned(doc.stem + ".html", render_page(doc.title, body), doc.shown);
            if (written) copy_assets(doc, asset_failed);
        } catch (const ::velutil::FileError& error) {
            failure = describe(error);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            failure = frame::shown(error.value());
        }
        if (!failure.empty()) log_.error("Failed to process " + doc.shown + ": " + failure);
        if (written) {
            document_items_.push_back({doc.title, document_item(doc.stem + ".html", doc.title)});
            ++result_.documents;
        }
        if (written && !asset_failed) tally_.done();
        else tally_.failed(doc.shown);
    }
}

void SiteRun::write_diagrams() {
    for (Diagram& diagram : diagrams_) {
        frame::current_progress().next(diagram.shown);
        if (!diagram.job) continue;
        const Drawing& drawing = drawings_[*diagram.job];
        if (drawing.output_missing) {
            std::string svg_path = frame::shown_bytes(out_path(diagram.stem + ".svg"));
            raise(PyExc_FileNotFoundError,
                  "The renderer reported success for " + diagram.shown + " but " +
                      (exists(out_path(diagram.stem + ".svg"))
                           ? "did not write " + svg_path + "; the file there is from an earlier run"
                           : "wrote no SVG file at " + svg_path));
        }
        if (!drawing.drawn) {
            log_.error("Failed to convert " + diagram.shown + ": " + frame::shown_bytes(drawing.problem));
            if (!drawing.output.empty()) log_.debug(py::str("Renderer output:\n" + frame::shown_bytes(drawing.output)));
            tally_.failed(diagram.shown);
            continue;
        }
        std::string svg = normalize_line_ends(drawing.svg);
        std::string page_name = diagram.stem + ".html";
        std::string body = embed_drawing(svg) + "\n<p><a href=\"" + percent_encode(diagram.stem + ".svg") +
                           "\">Full-size drawing (SVG)</a></p>";
        bool written = false;
        try {
            written = write_owned(diagram.stem + ".svg", drawing.svg, diagram.shown) &&
                      write_owned(page_name, render_page(diagram.title, body), diagram.shown);
        } catch (const ::velutil::FileError& error) {
            raise(PyExc_OSError, describe(error));
        }
        if (!written) {
            tally_.failed(diagram.shown);
            continue;
        }
        diagram_items_.push_back({diagram.title, diagram_item(page_name, diagram.title)});
        ++result_.diagrams;
        tally_.done();
    }
}

bool SiteRun::write_index() {
    auto by_title = [](const IndexEntry& a, const IndexEntry& b) { return natural_less(a.title, b.title); };
    std::stable_sort(document_items_.begin(), document_items_.end(), by_title);
    std::stable_sort(diagram_items_.begin(), diagram_items_.end(), by_title);
    std::vector<std::string> documents, diagrams;
    for (const auto& entry : document_items_) documents.push_back(entry.item);
    for (const auto& entry : diagram_items_) diagrams.push_back(entry.item);
    log_.info("Generating index.html ...");
    try {
        return write_owned("index.html", render_index(options_.index_title, documents, diagrams), "the index");
    } catch (const ::velutil::FileError& error) {
        raise(PyExc_OSError, describe(error));
    }
}

SiteResult SiteRun::run() {
    std::time_t start = std::time(nullptr);
    if (!find_executable("mmdc", std::getenv("PATH"))) {
        std::string message =
            "Mermaid CLI ('mmdc') is not installed or not in PATH.\n"
            "Please install it via: npm install -g @mermaid-js/mermaid-cli";
        log_.error(message);
        tally_.run_failed();
        raise(PyExc_RuntimeError, message);
    }
    if (!exists(options_.input_folder)) {
        tally_.run_failed();
        raise(PyExc_FileNotFoundError, "Input folder not found: " + frame::shown_tried(py::bytes(options_.input_folder)));
    }
    if (!exists(options_.output_folder)) {
        ::velutil::make_dirs(options_.output_folder);
        log_.info("Created output directory: " + options_.output_shown);
    }
    remove_scratch_leftovers(options_.output_folder, start);
    input_real_ = real_path(options_.input_folder);
    list_input();
    plan_names();
    if (!folders_.empty()) {
        std::vector<std::string> shown;
        for (const auto& name : folders_) shown.push_back(frame::shown_bytes(name));
        std::sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) { return natural_less(a, b); });
        log_.info("Sub-folders not converted (only the top of the input folder is): " + frame::name_list(shown));
    }
    read_documents();
    read_diagrams();
    draw();
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
        result_.message = kNothingConverted;
        return result_;
    }
    result_.success = write_index();
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
    return run.run();
}

std::string done_text(const SiteResult& result) {
    return "Converted " + count_of(result.documents, "document", "documents") + " and " +
           count_of(result.diagrams, "diagram", "diagrams");
}

}  // namespace velkit::flowpage
