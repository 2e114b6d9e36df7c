// The renderer's scratch folders ("work-XXXXXX" in the drawing cache) that a
// killed run left behind; the next run removes them. (The hidden temporary
// files of the atomic writes are velutil's to clear.)
#pragma once
#include <ctime>
#include <string>

namespace velkit::flowpage {

// Removes the scratch folders in `output_folder`/.flowpage-cache last
// changed before `start`. Returns how many went.
int remove_scratch_leftovers(const std::string& output_folder, std::time_t start);

}  // namespace velkit::flowpage
