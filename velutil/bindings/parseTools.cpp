// velutil.parseTools: the file-name rule that sorts images into groups.
#include <pybind11/pybind11.h>

#include "name_pattern.hpp"

namespace py = pybind11;

PYBIND11_MODULE(parseTools, m) {
    m.doc() = "File-name matching.";
    m.def(
        "parseFn_pattern",
        [](const std::string& file_name, const std::string& pattern, const std::string& fn_prefix) {
            velutil::PatternMatch match = velutil::match_file_name(file_name, pattern, fn_prefix);
            return py::make_tuple(match.matched, match.caption);
        },
        py::arg("file_name"), py::arg("pattern"), py::arg("fn_prefix") = "",
        "(matched, caption) for a file name and a group pattern.\n\n"
        "The stem (name without extension) must start with fn_prefix when one\n"
        "is given, and contain the pattern; a pattern with the wildcards * ? [...]\n"
        "must match the whole caption, stem or file name. Letter case counts.\n"
        "The caption is the stem without the prefix and the separators after it.");
}
