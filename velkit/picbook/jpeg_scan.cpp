#include "jpeg_scan.hpp"

#include <cstddef>
#include <cstring>

namespace velkit::picbook {

namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kStartOfImage = 0xD8;
constexpr unsigned char kEndOfImage = 0xD9;
constexpr unsigned char kStartOfScan = 0xDA;

bool is_restart(unsigned char code) { return code >= 0xD0 && code <= 0xD7; }
// Markers that carry no length field.
bool stands_alone(unsigned char code) { return is_restart(code) || code == 0x01; }

}  // namespace

JpegData jpeg_data(std::string_view bytes) {
    auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const size_t size = bytes.size();
    if (size < 2 || at(0) != kMarker || at(1) != kStartOfImage) return JpegData::kNotJpeg;
    size_t pos = 2;
    while (pos < size) {
        // Between segments only a marker may stand; stray bytes are
        // tolerated the way decoders do, by looking for the next one.
        while (pos < size && at(pos) != kMarker) ++pos;
        while (pos < size && at(pos) == kMarker) ++pos;  // fill bytes
        if (pos >= size) return JpegData::kEndsEarly;
        unsigned char code = at(pos++);
        if (code == kEndOfImage) return JpegData::kComplete;
        if (stands_alone(code)) continue;
        if (pos + 2 > size) return JpegData::kEndsEarly;
        size_t length = (static_cast<size_t>(at(pos)) << 8) | at(pos + 1);
        if (length < 2 || pos + length > size) return JpegData::kEndsEarly;
        pos += length;
        if (code != kStartOfScan) continue;
        // Entropy-coded data: a 0xFF in it is followed by 0x00 (a stuffed
        // byte) or a restart marker; anything else is the next marker.
        while (true) {
            const void* found = std::memchr(bytes.data() + pos, kMarker, size - pos);
            pos = found ? static_cast<size_t>(static_cast<const char*>(found) - bytes.data()) : size;
            if (pos + 1 >= size) return JpegData::kEndsEarly;
            unsigned char next = at(pos + 1);
            if (next == 0x00 || is_restart(next) || next == kMarker) {
                pos += next == kMarker ? 1 : 2;
                continue;
            }
            break;  // pos is at the 0xFF of the next marker
        }
    }
    return JpegData::kEndsEarly;
}

}  // namespace velkit::picbook
