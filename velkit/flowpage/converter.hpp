// MermaidConverter: one folder of Markdown documents and Mermaid diagrams
// becomes a static site. The page texts and names come from site.hpp; this
// class holds the configuration objects, reads and writes the files, and
// drives markdown and the renderer.
#pragma once
#include "velkit/frame/pybind.hpp"

namespace velkit::flowpage {

class MermaidConverter {
public:
    explicit MermaidConverter(py::object config_dict);

    // Creates output_folder (and its parents) when nothing is there.
    void prepare_output_dir() const;

    // True when an executable "mmdc" is on PATH.
    bool check_mmdc() const;

    // The whole conversion: (true, message) when pages were written,
    // (false, message) when there was nothing to convert.
    py::tuple run() const;

    py::object conf;
    py::object input_folder;
    py::object output_folder;
    py::object index_title;
    py::object doc_titles;
    py::object chart_titles;
};

void register_converter(py::module_& m);

}  // namespace velkit::flowpage
