#include "png_chunks.hpp"

#include <cstdint>
#include <cstring>

namespace velkit::picbook {

namespace {

constexpr char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
// No chunk may be longer than 2^31 - 1 bytes; an eXIf block above 16 MiB is
// not an orientation worth reading.
constexpr std::uint32_t kMaxChunk = 0x7FFFFFFF;
constexpr std::uint32_t kMaxExif = 16u << 20;

}  // namespace

std::string png_exif_chunk(std::istream& png) {
    char signature[8];
    if (!png.read(signature, 8) || std::memcmp(signature, kSignature, 8) != 0) return "";
    while (true) {
        unsigned char header[8];
        if (!png.read(reinterpret_cast<char*>(header), 8)) return "";
        std::uint32_t length = (std::uint32_t{header[0]} << 24) | (std::uint32_t{header[1]} << 16) |
                               (std::uint32_t{header[2]} << 8) | header[3];
        if (length > kMaxChunk) return "";
        if (std::memcmp(header + 4, "IEND", 4) == 0) return "";
        if (std::memcmp(header + 4, "eXIf", 4) == 0) {
            if (length > kMaxExif) return "";
            std::string data(length, '\0');
            if (!png.read(data.data(), length)) return "";
            return data;
        }
        // The data and its CRC.
        if (!png.seekg(static_cast<std::streamoff>(length) + 4, std::ios::cur)) return "";
    }
}

}  // namespace velkit::picbook
