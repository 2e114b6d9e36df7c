#include "velkit/frame/help_text.hpp"

#include <gtest/gtest.h>

using velkit::frame::help_with_template;

TEST(HelpWithTemplate, EndsEveryIntroLineThenTemplateAndNewline) {
    EXPECT_EQ(help_with_template({"", "Intro.", velkit::frame::kNoRewrap}, "{\n    \"a\": 1\n}"),
              "\nIntro.\n\b\n{\n    \"a\": 1\n}\n");
}

TEST(HelpWithTemplate, EmptyIntroGivesTemplateOnly) { EXPECT_EQ(help_with_template({}, "{}"), "{}\n"); }
