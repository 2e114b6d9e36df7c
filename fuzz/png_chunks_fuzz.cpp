// picbook's PNG chunk walk on any bytes: it ends, and an eXIf block it
// returns lies inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "png_chunks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream stream(bytes);
    std::string exif = velkit::picbook::png_exif_chunk(stream);
    if (!exif.empty() && bytes.find(exif) == std::string::npos) std::abort();
    return 0;
}
