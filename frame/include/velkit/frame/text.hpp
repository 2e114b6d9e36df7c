// Names and messages across the boundary. File names are bytes and need not
// be UTF-8: they are opened by their bytes and turned into text only to be
// shown, through `shown`, which escapes what cannot be decoded and never
// raises.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

namespace velkit::frame {

// Display text (UTF-8) for any value: a str whose file name bytes were not
// UTF-8 (surrogate escapes) shows them as "\xff"; bytes and path objects are
// decoded the same way; anything else is str(value). Never raises.
std::string shown(py::handle value);

// The same for bytes that came from the file system or a child process.
std::string shown_bytes(const std::string& bytes);

// File-system bytes of a str, bytes or os.PathLike (os.fsencode).
std::string fs_path(py::handle path);

// The interpreter's str for file-system bytes (os.fsdecode): undecodable
// bytes survive as surrogate escapes, so the name can be handed back to
// Python libraries that open files by it.
py::str fs_text(const std::string& path);

// Writes `content` (bytes or any buffer, e.g. a BytesIO's getbuffer()) to
// `path` atomically: a failure keeps an earlier file. For outputs rebuilt
// from their inputs at will, so the write does not wait for the disk.
// Throws velutil's FileError.
void write_rebuildable_output(py::handle path, py::handle content);

}  // namespace velkit::frame
