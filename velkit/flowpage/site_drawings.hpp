// The drawings of a run: taken from the drawing cache when a diagram's
// text, the renderer and its options are unchanged, else drawn in as few
// renderer processes as possible (diagram_drawer.hpp).
#pragma once
#include <string>
#include <vector>

#include "diagram_drawer.hpp"

namespace velkit::flowpage {

// One drawing per job, in order. The cache in `cache_folder` keeps what was
// drawn and loses what this run did not ask for. A renderer process gets
// `seconds_per_diagram` for each diagram it draws.
std::vector<Drawing> draw_diagrams(const std::vector<DiagramJob>& jobs, const std::string& cache_folder,
                                   double seconds_per_diagram);

}  // namespace velkit::flowpage
