// Small path helpers that behave like the interpreter's os.path functions,
// so that paths computed here read the same as paths computed in Python.
#pragma once
#include <string>

namespace velutil {

// os.path.join for two parts: an absolute second part stands alone.
std::string join_path(const std::string& folder, const std::string& name);

// The last component of a path ("a/b.txt" -> "b.txt").
std::string base_name(const std::string& path);

// Everything before the last component, "" when there is none.
std::string dir_name(const std::string& path);

// os.path.splitext on a file name: the extension keeps its dot, a leading
// dot (".bashrc") is not an extension.
struct NameParts {
    std::string stem;
    std::string extension;
};
NameParts split_extension(const std::string& file_name);

}  // namespace velutil
