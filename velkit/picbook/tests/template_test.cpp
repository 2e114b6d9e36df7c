#include "report_template.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace velkit::picbook;

TEST(HelpText, IntroductionThenTemplateThenNewline) {
    const std::string intro =
        "\nGenerate a PDF report from multiple images based on a JSON configuration.\n\n\b\n"
        "[JSON Parameter Description]:\n"
        "* config.image_folder : (String) The folder containing the images.\n"
        "* config.output_file  : (String) The name of the output PDF file.\n"
        "* main_page           : (Dict) Key-value pairs displayed on the first TOC page.\n"
        "* groups              : (List) Define layout and matching patterns for image groups.\n"
        "\n\b\n[Default config.json Template]:\n";
    EXPECT_EQ(help_text(), intro + kDefaultConfigJson + "\n");
}

TEST(DefaultConfig, SectionsAndGroupKeysInTemplateOrder) {
    const std::string json = kDefaultConfigJson;
    auto at = [&](const char* key) { return json.find(key); };
    EXPECT_LT(at("\"config\""), at("\"main_page\""));
    EXPECT_LT(at("\"main_page\""), at("\"groups\""));
    EXPECT_LT(at("\"experiments_per_page\": 2"), at("\"cols_per_row\": 2"));
    EXPECT_NE(at("        \"image_folder\": \"./data_picbook\",\n"), std::string::npos);
    EXPECT_EQ(json.back(), '}');
}
