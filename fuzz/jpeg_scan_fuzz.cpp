// picbook's JPEG completeness walk on any bytes: it ends, and what it calls
// complete stays complete whatever follows the end marker.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "jpeg_scan.hpp"

using velkit::picbook::jpeg_data;
using velkit::picbook::JpegData;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    JpegData whole = jpeg_data(bytes);
    if (whole == JpegData::kComplete) {
        std::string padded(bytes);
        padded.append("\xFF\xD8\xFF\x00 trailing", 14);
        if (jpeg_data(padded) != JpegData::kComplete) std::abort();
    }
    // A start marker decides what kind of file it is.
    bool starts = size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
    if ((whole == JpegData::kNotJpeg) == starts) std::abort();
    return 0;
}
