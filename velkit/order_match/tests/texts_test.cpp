#include "texts.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace velkit::order_match;

TEST(MonthLabel, TwoDigitYearAndEnglishAbbreviation) {
    EXPECT_EQ(month_label(2024, 1), "24-Jan");
    EXPECT_EQ(month_label(2025, 12), "25-Dec");
    EXPECT_EQ(month_label(2009, 5), "09-May");
    EXPECT_EQ(month_label(2100, 9), "00-Sep");
    EXPECT_THROW(month_label(2024, 13), std::out_of_range);
}

TEST(Template, KeysInOrderWithTheirValues) {
    const std::string json = kTemplateJson;
    const char* in_order[] = {"\"system_data_path\": \"./data_order_match/system_data.csv\"",
                              "\"customer_data_path\": \"./data_order_match/customer_data.xlsx\"",
                              "\"output_dir\": \"./data_order_match/out\"",
                              "\"system_data\"",
                              "\"po_cell\": \"H2\"",
                              "\"so_cell\": \"I2\"",
                              "\"so_pos_cell\": \"J2\"",
                              "\"so_suffix_cell\": \"K2\"",
                              "\"qty_cell\": \"L2\"",
                              "\"rdd_cell\": \"Q2\"",
                              "\"customer_data\"",
                              "\"po_cell\": \"F3\"",
                              "\"qty_cell\": \"O3\"",
                              "\"rdd_cell\": \"R3\""};
    size_t at = 0;
    for (const char* piece : in_order) {
        size_t found = json.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece;
        at = found;
    }
}
