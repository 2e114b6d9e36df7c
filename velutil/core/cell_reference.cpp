#include "cell_reference.hpp"

#include <stdexcept>

#include "text_kit.hpp"

namespace velutil {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

CellReference parse_cell_reference(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    size_t i = 0;
    if (i < text.size() && text[i] == '$') ++i;
    long long column = 0;
    size_t letters = 0;
    for (; i < text.size(); ++i, ++letters) {
        char c = ascii_upper(text[i]);
        if (c < 'A' || c > 'Z') break;
        column = column * 26 + (c - 'A' + 1);
        if (column > kMaxColumns) throw std::invalid_argument("the column lies beyond the last column XFD");
    }
    if (letters == 0) throw std::invalid_argument("it must start with column letters, as in \"H2\"");
    if (i < text.size() && text[i] == '$') ++i;
    long long row = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        row = row * 10 + (text[i] - '0');
        if (row > kMaxRows) throw std::invalid_argument("the row lies beyond the last row 1048576");
    }
    if (digits == 0 || i != text.size()) {
        throw std::invalid_argument("it must be column letters followed by a row number, as in \"H2\"");
    }
    if (row < 1) throw std::invalid_argument("rows are numbered from 1");
    return CellReference{static_cast<int>(column - 1), static_cast<int>(row)};
}

std::string column_letters(int column) {
    std::string letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters;
}

}  // namespace velutil
