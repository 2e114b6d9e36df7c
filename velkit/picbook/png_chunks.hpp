// The eXIf chunk of a PNG file, found by walking the chunk headers and
// skipping their data: nothing is decompressed, however large the image.
// (Pillow would decode the whole image to find an eXIf chunk that comes
// after the image data.) Plain C++.
#pragma once
#include <istream>
#include <string>

namespace velkit::picbook {

// The data of the first eXIf chunk, or "" when the stream is not a PNG,
// has none, or ends inside the chunk. Reads no further than the chunk or
// the end marker (IEND).
std::string png_exif_chunk(std::istream& png);

}  // namespace velkit::picbook
