#include "pdf_numbers.hpp"

#include <charconv>
#include <cmath>

namespace velkit::sheet_tile {

std::string fixed_text(double value, int digits) {
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    return std::string(buffer, result.ptr);
}

std::string pdf_number(double value) {
    if (!std::isfinite(value)) return "0";
    std::string text = fixed_text(value, 5);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

std::string decimal_text(double value) {
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace velkit::sheet_tile
