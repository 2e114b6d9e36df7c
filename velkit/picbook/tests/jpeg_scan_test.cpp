#include "jpeg_scan.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace velkit::picbook;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

// SOI, an APP1 segment that holds a thumbnail's own end marker, a frame
// header, a scan with a stuffed 0xFF and a restart marker, and EOI.
std::string complete_jpeg() {
    return bytes({0xFF, 0xD8,                                  // SOI
                  0xFF, 0xE1, 0x00, 0x06, 0xFF, 0xD9, 0x12, 0x34,  // APP1 with FF D9 inside
                  0xFF, 0xC0, 0x00, 0x05, 0x08, 0x00, 0x01,    // SOF0 (short, never parsed)
                  0xFF, 0xDA, 0x00, 0x04, 0x01, 0x00,          // SOS header
                  0x11, 0xFF, 0x00, 0x22, 0xFF, 0xD0, 0x33,    // data, stuffed byte, RST0
                  0xFF, 0xD9});                                // EOI
}

struct Case {
    const char* name;
    std::string data;
    JpegData expected;
};

class JpegDataCase : public ::testing::TestWithParam<Case> {};

TEST_P(JpegDataCase, Classifies) { EXPECT_EQ(jpeg_data(GetParam().data), GetParam().expected); }

std::string cut(std::string data, size_t keep) { return data.substr(0, keep); }

INSTANTIATE_TEST_SUITE_P(
    Files, JpegDataCase,
    ::testing::Values(
        Case{"Complete", complete_jpeg(), JpegData::kComplete},
        Case{"TrailingBytes", complete_jpeg() + std::string(5000, '\0') + "junk", JpegData::kComplete},
        Case{"TrailingJpeg", complete_jpeg() + complete_jpeg(), JpegData::kComplete},
        Case{"CutInScan", cut(complete_jpeg(), complete_jpeg().size() - 2), JpegData::kEndsEarly},
        Case{"CutAfterStuffedFF", cut(complete_jpeg(), 25), JpegData::kEndsEarly},
        // Cut inside APP1, right after the thumbnail's end marker: not complete.
        Case{"CutInSegment", cut(complete_jpeg(), 8), JpegData::kEndsEarly},
        Case{"CutInLength", cut(complete_jpeg(), 13), JpegData::kEndsEarly},
        Case{"OnlyStartMarker", bytes({0xFF, 0xD8}), JpegData::kEndsEarly},
        Case{"BadLength", bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xD9}), JpegData::kEndsEarly},
        Case{"Empty", std::string(), JpegData::kNotJpeg},
        Case{"Png", bytes({0x89, 'P', 'N', 'G'}), JpegData::kNotJpeg},
        // Progressive: two scans, the table between them found after the first.
        Case{"TwoScans",
             bytes({0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x01, 0x02, 0xFF, 0xC4, 0x00, 0x03, 0x00, 0xFF, 0xDA, 0x00,
                    0x02, 0x05, 0xFF, 0xFF, 0xD9}),
             JpegData::kComplete}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
