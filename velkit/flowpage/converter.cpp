#include "converter.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "options_reader.hpp"
#include "renderer.hpp"
#include "safe_files.hpp"
#include "state.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::flowpage {

namespace {

py::object get(py::handle mapping, const char* key, py::object fallback) {
    return mapping.contains(key) ? py::reinterpret_borrow<py::object>(mapping[py::str(key)]) : fallback;
}

}  // namespace

MermaidConverter::MermaidConverter(py::object config_dict) : conf(std::move(config_dict)) {
    input_folder = get(conf, "input_folder", py::str(kDefaultInputFolder));
    output_folder = get(conf, "output_folder", py::str(kDefaultOutputFolder));
    index_title = get(conf, "index_title", py::str(kDefaultIndexTitle));
    doc_titles = get(conf, "doc_titles", py::dict());
    chart_titles = get(conf, "chart_titles", py::dict());
    state().log.debug(conf);
}

MermaidConverter::MermaidConverter(py::object config_dict, SiteOptions options)
    : MermaidConverter(std::move(config_dict)) {
    options_ = std::move(options);
}

SiteOptions MermaidConverter::current_options() const {
    py::dict values;
    values["input_folder"] = input_folder;
    values["output_folder"] = output_folder;
    values["index_title"] = index_title;
    values["doc_titles"] = doc_titles;
    values["chart_titles"] = chart_titles;
    try {
        return read_options(frame::ConfigSection(values, "config"));
    } catch (const frame::ConfigError& error) {
        throw py::value_error(error.what());
    }
}

void MermaidConverter::prepare_output_dir() const {
    std::string output = frame::fs_path(output_folder);
    struct stat info {};
    if (::stat(output.c_str(), &info) == 0) return;
    ::velutil::make_dirs(output);
    state().log.info("Created output directory: " + frame::shown(output_folder));
}

bool MermaidConverter::check_mmdc() const { return find_executable("mmdc", std::getenv("PATH")).has_value(); }

py::tuple MermaidConverter::run() {
    tally = frame::RunTally();
    result = run_site(options_ ? *options_ : current_options(), tally);
    return py::make_tuple(result.success, result.message);
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
