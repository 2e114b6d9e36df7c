// What a run that was killed leaves behind in the output folder: hidden
// temporary files of the atomic writes (".NAME.tmp-XXXXXX") and the
// renderer's scratch folders in the drawing cache ("work-XXXXXX"). The next
// run removes those older than itself.
#pragma once
#include <ctime>
#include <functional>
#include <string>

namespace velkit::flowpage {

// The file an atomic write's temporary file was for (".a.html.tmp-Xy12Z9"
// -> "a.html"), "" when the name is not such a temporary file.
std::string leftover_target(const std::string& name);

// Removes, when last changed before `start`: the temporary files in
// `folder` (not in its sub-folders) for a file that `ours` accepts, and the
// scratch folders in `folder`/.flowpage-cache. Returns how many.
int remove_leftovers(const std::string& folder, std::time_t start,
                     const std::function<bool(const std::string& file)>& ours);

}  // namespace velkit::flowpage
