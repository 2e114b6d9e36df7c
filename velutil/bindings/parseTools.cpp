// velutil.parseTools: the file-name rule that sorts images into groups.
#include <pybind11/pybind11.h>

#include "name_pattern.hpp"
#include "pyfs.hpp"

namespace py = pybind11;

PYBIND11_MODULE(parseTools, m) {
    m.doc() = "File-name matching.";
    m.def(
        "parseFn_pattern",
        [](py::object file_name, py::object pattern, py::object fn_prefix) {
            // Names are matched by their file-system bytes, so that a name
            // that is not valid UTF-8 (a str with surrogate escapes, or
            // bytes) matches like any other.
            velutil::PatternMatch match = velutil::match_file_name(
                velutil::py_fs::to_fs(file_name), velutil::py_fs::to_fs(pattern), velutil::py_fs::to_fs(fn_prefix));
            py::object caption = PyBytes_Check(file_name.ptr()) ? py::object(py::bytes(match.caption))
                                                                 : py::object(velutil::py_fs::to_text(match.caption));
            return py::make_tuple(match.matched, caption);
        },
        py::arg("file_name"), py::arg("pattern"), py::arg("fn_prefix") = "",
        "(matched, caption) for a file name and a group pattern.\n\n"
        "The stem (name without extension) must start with fn_prefix when one\n"
        "is given, and contain the pattern; a pattern with the wildcards * ? [...]\n"
        "must match the whole caption, stem or file name, character by character\n"
        "(UTF-8 code points; no locale). Letter case counts. The name may be a str\n"
        "(undecodable bytes as surrogate escapes) or bytes; the caption comes back\n"
        "in the same kind. The caption is the stem without the prefix and the\n"
        "separators after it.");
}
