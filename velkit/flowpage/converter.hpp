// MermaidConverter: the worker object of flowpage. It keeps the
// configuration values as given (Python reads them back as attributes);
// the run itself uses the checked SiteOptions (site_run.hpp).
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>

#include "options.hpp"
#include "site_run.hpp"
#include "velkit/frame/run_tally.hpp"

namespace velkit::flowpage {

class MermaidConverter {
public:
    // The values as stored under "config"; a missing key takes its default.
    explicit MermaidConverter(py::object config_dict);
    // The command's way: the options it has read and checked already.
    MermaidConverter(py::object config_dict, SiteOptions options);

    // Creates output_folder (and its parents) when nothing is there.
    void prepare_output_dir() const;

    // True when an executable "mmdc" is on PATH.
    bool check_mmdc() const;

    // The whole conversion: (true, message) when the index was written,
    // (false, message) when there was nothing to convert or the index
    // could not be written.
    py::tuple run();

    py::object conf;
    py::object input_folder;
    py::object output_folder;
    py::object index_title;
    py::object doc_titles;
    py::object chart_titles;

    frame::RunTally tally;
    SiteResult result;

private:
    // The options the attributes hold now; raises ValueError naming a value
    // the run cannot use.
    SiteOptions current_options() const;

    std::optional<SiteOptions> options_;
};

void register_converter(py::module_& m);

}  // namespace velkit::flowpage
