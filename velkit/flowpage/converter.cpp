#include "converter.hpp"

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "file_error.hpp"
#include "paths.hpp"
#include "renderer.hpp"
#include "safe_files.hpp"
#include "site.hpp"
#include "state.hpp"

namespace velkit::flowpage {

namespace {

constexpr const char* kNothingConverted = "No .md or .mmd files were found in the input folder.";

[[noreturn]] void raise(py::handle type, const std::string& message) {
    py::set_error(type, py::str(message));
    throw py::error_already_set();
}

py::object get(py::handle mapping, const char* key, py::object fallback) {
    return mapping.contains(key) ? py::reinterpret_borrow<py::object>(mapping[py::str(key)]) : fallback;
}

std::string text(py::handle value) { return py::str(value); }

// The configuration's own words for a value's type.
std::string json_type(py::handle value) {
    if (value.is_none()) return "null";
    if (py::isinstance<py::bool_>(value)) return "true/false";
    if (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)) return "a number";
    if (py::isinstance<py::str>(value)) return "a string";
    if (py::isinstance<py::list>(value)) return "an array";
    if (py::isinstance<py::dict>(value)) return "an object";
    return py::str(py::type::of(value).attr("__name__"));
}

// A folder setting as the file system's bytes; anything but a path is
// refused with the key's name.
std::string folder_path(const char* key, py::handle value) {
    py::module_ os = py::module_::import("os");
    if (!py::isinstance<py::str>(value) && !py::hasattr(value, "__fspath__")) {
        raise(PyExc_TypeError,
              std::string("Configuration value '") + key + "' must be a string (a folder path), not " + json_type(value));
    }
    return os.attr("fsencode")(value).cast<std::string>();
}

py::str from_fs(const std::string& path) { return py::module_::import("os").attr("fsdecode")(py::bytes(path)); }

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The title a title map gives `file_name`, else `fallback`.
std::string display_title(const char* key, py::handle titles, py::handle file_name, const std::string& fallback) {
    if (!py::isinstance<py::dict>(titles)) {
        raise(PyExc_TypeError, std::string("Configuration value '") + key +
                                   "' must be an object mapping file names to titles, not " + json_type(titles));
    }
    py::dict map = py::reinterpret_borrow<py::dict>(titles);
    if (map.contains(file_name)) return text(map[file_name]);
    return fallback;
}

std::string describe(const ::velutil::FileError& error) {
    return error.what_failed() + " " + error.path() + " (" + std::strerror(error.error_number()) + ")";
}

// The whole file as text: UTF-8, line ends made line feeds.
py::str read_text(const std::string& path) {
    std::string content = normalize_line_ends(::velutil::read_file(path));
    return py::bytes(content).attr("decode")("utf-8");
}

void write_text(const std::string& path, const std::string& content) {
    // Pages are rebuilt from their sources at will: no waiting for the disk.
    ::velutil::write_file_atomically(path, content.data(), content.size(), ::velutil::Durability::kLeaveToSystem);
}

struct FileStamp {
    bool present = false;
    struct stat info {};
};

FileStamp stamp_of(const std::string& path) {
    FileStamp stamp;
    stamp.present = ::stat(path.c_str(), &stamp.info) == 0;
    return stamp;
}

bool same_file_state(const FileStamp& a, const FileStamp& b) {
    return a.present && b.present && a.info.st_ino == b.info.st_ino && a.info.st_size == b.info.st_size &&
           a.info.st_mtim.tv_sec == b.info.st_mtim.tv_sec && a.info.st_mtim.tv_nsec == b.info.st_mtim.tv_nsec;
}

// Runs the renderer for one diagram with this process's terminal, letting
// other Python threads and signal handlers run meanwhile.
ChildOutcome render(const std::string& mmd_path, const std::string& svg_path) {
    py::module_ sys = py::module_::import("sys");
    for (const char* stream : {"stdout", "stderr"}) {
        py::object handle = sys.attr(stream);
        if (!handle.is_none()) handle.attr("flush")();
    }
    ChildOutcome outcome;
    {
        py::gil_scoped_release release;
        outcome = run_program("mmdc", {"-i", mmd_path, "-o", svg_path});
    }
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    return outcome;
}

std::string page_file_name(const std::string& stem) { return stem + ".html"; }

}  // namespace

MermaidConverter::MermaidConverter(py::object config_dict) : conf(std::move(config_dict)) {
    input_folder = get(conf, "input_folder", py::str("./data_flowpage"));
    output_folder = get(conf, "output_folder", py::str("./data_flowpage/html_out"));
    index_title = get(conf, "index_title", py::str("Project Documentation"));
    doc_titles = get(conf, "doc_titles", py::dict());
    chart_titles = get(conf, "chart_titles", py::dict());
    state().log.debug(conf);
}

void MermaidConverter::prepare_output_dir() const {
    std::string output = folder_path("output_folder", output_folder);
    if (exists(output)) return;
    py::module_::import("os").attr("makedirs")(from_fs(output));
    state().log.info("Created output directory: " + text(output_folder));
}

bool MermaidConverter::check_mmdc() const { return find_executable("mmdc", std::getenv("PATH")).has_value(); }

py::tuple MermaidConverter::run() const {
    const ModuleState& module = state();
    if (!check_mmdc()) {
        std::string message =
            "Mermaid CLI ('mmdc') is not installed or not in PATH.\n"
            "Please install it via: npm install -g @mermaid-js/mermaid-cli";
        module.log.error(message);
        raise(PyExc_RuntimeError, message);
    }
    std::string input = folder_path("input_folder", input_folder);
    if (!exists(input)) raise(PyExc_FileNotFoundError, "Input folder not found: " + text(input_folder));
    prepare_output_dir();
    std::string output = folder_path("output_folder", output_folder);
    py::object listdir = py::module_::import("os").attr("listdir");
    py::object fsencode = py::module_::import("os").attr("fsencode");

    PageNames names;
    const std::vector<std::string> page_only = {".html"};
    const std::vector<std::string> page_and_drawing = {".html", ".svg"};
    std::vector<std::string> md_links;
    std::vector<std::string> chart_links;

    for (py::handle md : listdir(from_fs(input))) {
        std::string md_name = fsencode(md).cast<std::string>();
        if (!has_extension(md_name, ".md")) continue;
        std::string md_path = ::velutil::join_path(input, md_name);
        std::string base_name = base_name_of(md_name);
        std::string stem = names.free_stem(base_name, page_only);
        std::string out_name = page_file_name(stem);
        std::string out_path = ::velutil::join_path(output, out_name);
        std::string title = display_title("doc_titles", doc_titles, md, text(from_fs(base_name)));
        module.log.info("Processing Markdown: " + text(md) + " -> " + title);
        std::string failure;
        try {
            py::object html = module.markdown.attr("markdown")(
                read_text(md_path), py::arg("extensions") = py::make_tuple("fenced_code", "tables"));
            write_text(out_path, render_page(title, text(html)));
            names.take(stem, page_only);
            md_links.push_back(document_item(out_name, title));
        } catch (const ::velutil::FileError& error) {
            failure = describe(error);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            failure = text(error.value());
        }
        if (!failure.empty()) module.log.error("Failed to process " + text(md) + ": " + failure);
    }

    for (py::handle mmd : listdir(from_fs(input))) {
        std::string mmd_name = fsencode(mmd).cast<std::string>();
        if (!has_extension(mmd_name, ".mmd")) continue;
        std::string base_name = base_name_of(mmd_name);
        std::string mmd_path = ::velutil::join_path(input, mmd_name);
        std::string stem = names.free_stem(base_name, page_and_drawing);
        std::string svg_path = ::velutil::join_path(output, stem + ".svg");
        std::string page_name = page_file_name(stem);
        std::string html_path = ::velutil::join_path(output, page_name);
        std::string title = display_title("chart_titles", chart_titles, mmd, text(from_fs(base_name)));
        module.log.info("Converting diagram: " + text(mmd) + " -> " + title + " ...");

        FileStamp before = stamp_of(svg_path);
        ChildOutcome outcome = render(mmd_path, svg_path);
        if (outcome.status != 0) {
            module.log.error("Failed to convert " + text(mmd) + ": " + outcome.description);
            continue;
        }
        FileStamp after = stamp_of(svg_path);
        if (!after.present) {
            raise(PyExc_FileNotFoundError, "The renderer reported success for " + text(mmd) +
                                               " but wrote no SVG file at " + text(from_fs(svg_path)));
        }
        if (same_file_state(before, after)) {
            raise(PyExc_FileNotFoundError, "The renderer reported success for " + text(mmd) + " but did not write " +
                                               text(from_fs(svg_path)) + "; the file there is from an earlier run");
        }
        py::str svg;
        try {
            svg = read_text(svg_path);
        } catch (const ::velutil::FileError& error) {
            raise(PyExc_OSError, describe(error));
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_UnicodeDecodeError)) throw;
            raise(PyExc_ValueError, "The SVG file " + text(from_fs(svg_path)) + " is not UTF-8 text: " +
                                        text(error.value()));
        }
        try {
            write_text(html_path, render_page(title, text(svg)));
        } catch (const ::velutil::FileError& error) {
            raise(PyExc_OSError, describe(error));
        }
        names.take(stem, page_and_drawing);
        chart_links.push_back(diagram_item(page_name, title));
    }

    if (md_links.empty() && chart_links.empty()) return py::make_tuple(false, kNothingConverted);

    module.log.info("Generating index.html ...");
    std::string index_path = ::velutil::join_path(output, "index.html");
    try {
        write_text(index_path, render_index(text(index_title), md_links, chart_links));
    } catch (const ::velutil::FileError& error) {
        raise(PyExc_OSError, describe(error));
    }
    return py::make_tuple(true, "Successfully generated documentation in: " + text(output_folder) + "/index.html");
}

void register_converter(py::module_& m) {
    py::class_<MermaidConverter>(m, "MermaidConverter",
                                 "Converts a folder of .md documents and .mmd diagrams into HTML pages and an index.")
        .def(py::init<py::object>(), py::arg("config_dict"))
        .def_readwrite("conf", &MermaidConverter::conf)
        .def_readwrite("input_folder", &MermaidConverter::input_folder)
        .def_readwrite("output_folder", &MermaidConverter::output_folder)
        .def_readwrite("index_title", &MermaidConverter::index_title)
        .def_readwrite("doc_titles", &MermaidConverter::doc_titles)
        .def_readwrite("chart_titles", &MermaidConverter::chart_titles)
        .def("_prepare_output_dir", &MermaidConverter::prepare_output_dir,
             "Create output_folder and its parents when nothing exists there.")
        .def("_check_mmdc", &MermaidConverter::check_mmdc, "Whether an executable 'mmdc' is on PATH.")
        .def("run", &MermaidConverter::run, "Convert the folder; returns (success, message).");
}

}  // namespace velkit::flowpage
