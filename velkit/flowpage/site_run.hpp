// One conversion run: the documents and diagrams of the input folder become
// pages, drawings, copied assets and the index in the output folder.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

#include "options.hpp"
#include "velkit/frame/run_tally.hpp"

namespace velkit::flowpage {

struct SiteResult {
    bool success = false;  // the index was written
    std::string message;   // the line the command prints after [DONE] or [WARNING]
    size_t documents = 0;  // pages written
    size_t diagrams = 0;
    size_t warnings = 0;   // dead links, undrawn fences, files not taken
};

// Raises the errors that end a run (no renderer, no input folder, a
// renderer that reports success without drawing). `tally` counts documents
// and diagrams; a missing input or an index not written fail the run.
SiteResult run_site(const SiteOptions& options, frame::RunTally& tally);

// "Converted 3 documents and 2 diagrams; 2 warnings", for the closing
// summary.
std::string done_text(const SiteResult& result);

}  // namespace velkit::flowpage
