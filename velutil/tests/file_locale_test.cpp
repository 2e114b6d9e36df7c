// The core's results must not depend on the caller's locale: a program that
// embeds the library may well have called setlocale(LC_ALL, "").
#include <clocale>
#include <gtest/gtest.h>

#include "file_search.hpp"
#include "paths.hpp"
#include "text_kit.hpp"
#include "temp_dir.hpp"

using namespace velutil;

namespace {

// A comma-decimal locale in both encodings: single-byte folds 0xC4 with
// tolower, UTF-8 collates "a" before "B".
const char* const kLocales[] = {"de_DE.ISO-8859-1", "de_DE.UTF-8"};

class UnderGermanLocale : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (std::setlocale(LC_ALL, GetParam()) == nullptr) GTEST_SKIP() << GetParam() << " is not installed";
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

}  // namespace

TEST_P(UnderGermanLocale, ExtensionsFoldAsciiOnly) {
    EXPECT_EQ(ascii_lower("BILD_\xC4\xD6.PNG"), "bild_\xC4\xD6.png");
    EXPECT_TRUE(has_extension("BILD.PNG", {"png"}));
    EXPECT_FALSE(has_extension("x.\xC4PNG", {".\xE4png"}));
    EXPECT_EQ(normalize_extension("XLSX"), ".xlsx");
}

TEST_P(UnderGermanLocale, FilesSortByBytes) {
    TempDir dir;
    for (const char* name : {"b.png", "B.png", "a.png", "\xC3\x84.png"}) dir.write(name, "x");
    std::vector<std::string> names;
    for (const auto& found : find_files(dir.path(), {"png"}, false)) names.push_back(found.name);
    EXPECT_EQ(names, (std::vector<std::string>{"B.png", "a.png", "b.png", "\xC3\x84.png"}));
}

INSTANTIATE_TEST_SUITE_P(Locales, UnderGermanLocale, ::testing::ValuesIn(kLocales),
                         [](const auto& info) { return std::string(info.index == 0 ? "Latin1" : "Utf8"); });
