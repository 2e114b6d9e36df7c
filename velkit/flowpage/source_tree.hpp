// The documents and diagrams of an input folder and all its sub-folders,
// as paths relative to the folder ("guide/setup.md"). Hidden folders and the
// output folder (when it lies inside) are not entered; a file or folder
// reached through a symbolic link that leads out of the input folder is
// not taken, and named so that the run can say so.
#pragma once
#include <string>
#include <vector>

namespace velkit::flowpage {

struct SourceTree {
    std::vector<std::string> documents;  // ".md", any case
    std::vector<std::string> diagrams;   // ".mmd", any case
    std::vector<std::string> leaving;    // symbolic links leading outside, relative paths
    std::vector<std::string> unreadable; // folders that could not be listed, with the reason
};

// Lists `input_folder` (which must exist). Within a folder, names come in
// natural order, files before sub-folders. `output_folder` is skipped when
// it is a folder of the tree (compared by device and inode).
SourceTree list_source_tree(const std::string& input_folder, const std::string& output_folder);

// The folder part of a relative path: "a/b/c.md" -> "a/b", "c.md" -> "".
std::string folder_of(const std::string& relative);

// The relative path `to` as written in a page at `from` (both relative to
// the site root, files): "a/x.html", "b/y.html" -> "../b/y.html".
std::string relative_link_path(const std::string& from, const std::string& to);

}  // namespace velkit::flowpage
