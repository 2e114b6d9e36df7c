#include "texts.hpp"

#include <stdexcept>

namespace velkit::order_match {

const char* const kTemplateJson = R"json({
    "config": {
        "system_data_path": "./data_order_match/system_data.csv",
        "customer_data_path": "./data_order_match/customer_data.xlsx",
        "output_dir": "./data_order_match/out",
        "system_data": {
            "po_cell": "H2",
            "so_cell": "I2",
            "so_pos_cell": "J2",
            "so_suffix_cell": "K2",
            "qty_cell": "L2",
            "rdd_cell": "Q2"
        },
        "customer_data": {
            "po_cell": "F3",
            "qty_cell": "O3",
            "rdd_cell": "R3"
        }
    }
})json";

const char* const kInitDoc = "\n        config: dict，從 json 讀入的設定\n        ";

const char* const kResultFileName = "result.xlsx";
const char* const kDebugFileName = "debug_data.xlsx";
const char* const kUnmatchedFileName = "unmatched.xlsx";
const char* const kUnmatchedSaveFailed = "Failed to save unmatched excel file.";

std::string month_label(long long year, int month) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (month < 1 || month > 12) throw std::out_of_range("month " + std::to_string(month) + " is not 1 to 12");
    long long two_digits = ((year % 100) + 100) % 100;
    std::string label = two_digits < 10 ? "0" + std::to_string(two_digits) : std::to_string(two_digits);
    return label + "-" + kMonths[month - 1];
}

}  // namespace velkit::order_match
