#include "natural_order.hpp"

namespace velkit::picbook {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// -1, 0 or 1 for the digit runs starting at a[i] and b[j]; advances both
// past their runs. `zeros` records the first difference in leading zeros.
int compare_numbers(const std::string& a, size_t& i, const std::string& b, size_t& j, int& zeros) {
    size_t a_start = i;
    size_t b_start = j;
    while (i < a.size() && a[i] == '0') ++i;
    while (j < b.size() && b[j] == '0') ++j;
    size_t a_zeros = i - a_start;
    size_t b_zeros = j - b_start;
    size_t a_digits = i;
    size_t b_digits = j;
    while (i < a.size() && is_digit(a[i])) ++i;
    while (j < b.size() && is_digit(b[j])) ++j;
    size_t a_length = i - a_digits;
    size_t b_length = j - b_digits;
    if (a_length != b_length) return a_length < b_length ? -1 : 1;
    int order = a.compare(a_digits, a_length, b, b_digits, b_length);
    if (order != 0) return order < 0 ? -1 : 1;
    if (zeros == 0 && a_zeros != b_zeros) zeros = a_zeros < b_zeros ? -1 : 1;
    return 0;
}

}  // namespace

bool natural_less(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    int zeros = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            int order = compare_numbers(a, i, b, j, zeros);
            if (order != 0) return order < 0;
            continue;
        }
        char x = ascii_lower(a[i]);
        char y = ascii_lower(b[j]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
    if (zeros != 0) return zeros < 0;
    return a < b;
}

}  // namespace velkit::picbook
