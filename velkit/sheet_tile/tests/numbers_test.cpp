// The numbers of PDF content and messages must not follow the C locale: a
// process that embeds this tool may have set a comma-decimal one.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "geometry.hpp"
#include "pdf_numbers.hpp"

using namespace velkit::sheet_tile;

namespace {

void expect_texts() {
    EXPECT_EQ(fixed_text(20.5, 2), "20.50");
    EXPECT_EQ(fixed_text(-0.25, 1), "-0.2");
    EXPECT_EQ(pdf_number(0.44306722689), "0.44307");
    EXPECT_EQ(pdf_number(-12.0), "-12");
    EXPECT_EQ(pdf_number(-0.000001), "0");
    EXPECT_EQ(pdf_number(1e-20), "0");
    EXPECT_EQ(pdf_number(1e20), "100000000000000000000");
    EXPECT_EQ(decimal_text(595), "595.0");
    EXPECT_EQ(decimal_text(297.5), "297.5");
    EXPECT_EQ(frame_content({20.5, 30.25, 277.5, 401}), "q 1 0 0 RG 2 w 20.50 30.25 277.50 401.00 re S Q");
    EXPECT_EQ(placement_note(3, "a.pdf", 0.443, 26.9375, 434.969), "    Pg3: a.pdf | Sc=0.44 | Loc=(26.9,435.0)");
}

// Sets LC_ALL for the test's lifetime and restores it after.
class LocaleScope {
public:
    explicit LocaleScope(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
        active_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_ALL, previous_.c_str()); }
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

}  // namespace

TEST(PdfNumbers, PointDecimalsWithoutExponent) { expect_texts(); }

TEST(PdfNumbers, CommaDecimalLocaleChangesNothing) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        LocaleScope scope(name);
        if (!scope.active()) continue;
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
        expect_texts();
        return;
    }
    GTEST_SKIP() << "no comma-decimal locale is installed";
}
