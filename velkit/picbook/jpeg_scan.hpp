// Whether a JPEG file's data is complete: its segments are walked from the
// start-of-image marker through every scan to the end-of-image marker.
// Bytes after the end marker (camera padding, appended data) are not a
// fault; a file cut inside a segment or a scan is. Plain C++, no decoding.
#pragma once
#include <string_view>

namespace velkit::picbook {

enum class JpegData {
    kComplete,   // the end-of-image marker follows the last scan
    kEndsEarly,  // the data stops before the image does
    kNotJpeg,    // no start-of-image marker
};

JpegData jpeg_data(std::string_view bytes);

}  // namespace velkit::picbook
