#include "png_chunks.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace velkit::picbook;

namespace {

std::string chunk(const std::string& type, const std::string& data) {
    std::string out;
    auto length = static_cast<unsigned>(data.size());
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<char>((length >> shift) & 0xFF));
    return out + type + data + "CRC!";
}

const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

std::string exif_of(const std::string& bytes) {
    std::istringstream stream(bytes);
    return png_exif_chunk(stream);
}

struct Case {
    const char* name;
    std::string bytes;
    std::string exif;
};

class PngExif : public ::testing::TestWithParam<Case> {};

TEST_P(PngExif, FindsTheChunkWhereverItIs) { EXPECT_EQ(exif_of(GetParam().bytes), GetParam().exif); }

const std::string kHeader = chunk("IHDR", std::string(13, '\0'));
const std::string kData = chunk("IDAT", std::string(5000, 'x'));

INSTANTIATE_TEST_SUITE_P(
    Files, PngExif,
    ::testing::Values(
        Case{"BeforeTheData", kSignature + kHeader + chunk("eXIf", "MM*") + kData + chunk("IEND", ""), "MM*"},
        Case{"AfterTheData", kSignature + kHeader + kData + chunk("eXIf", "II*") + chunk("IEND", ""), "II*"},
        Case{"None", kSignature + kHeader + kData + chunk("IEND", ""), ""},
        Case{"AfterTheEnd", kSignature + kHeader + chunk("IEND", "") + chunk("eXIf", "MM*"), ""},
        Case{"CutInTheChunk", kSignature + kHeader + chunk("eXIf", "MM*tail").substr(0, 9), ""},
        Case{"CutInTheData", kSignature + kHeader + kData.substr(0, 100), ""},
        Case{"HugeLength", kSignature + std::string("\xff\xff\xff\xff", 4) + "IDAT", ""},
        Case{"NotAPng", std::string("GIF89a") + std::string(20, '\0'), ""},
        Case{"Empty", std::string(), ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
