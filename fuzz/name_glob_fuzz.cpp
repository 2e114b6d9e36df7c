// The name-pattern wildcards against a reference written the plain way:
// the pattern cut into tokens first, then matched by dynamic programming
// over (token, character) pairs, with none of the matcher's backtracking.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "name_pattern.hpp"
#include "text_kit.hpp"

namespace {

std::vector<char32_t> code_points(const std::string& text) {
    std::vector<char32_t> points;
    for (size_t at = 0; at < text.size();) {
        velutil::Utf8Unit unit = velutil::decode_utf8(text, at);
        points.push_back(unit.code);
        at += unit.length;
    }
    return points;
}

struct Token {
    enum Kind { kStar, kAny, kSet, kLiteral } kind;
    char32_t literal = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // a single member is a range of one

    bool takes(char32_t c) const {
        if (kind == kAny) return true;
        if (kind == kLiteral) return c == literal;
        bool in = false;
        for (auto [low, high] : ranges) in = in || (low <= c && c <= high);
        return in != negated;
    }
};

// "[" opens a set that runs to the first "]" after its first member; "!" or
// "^" right after "[" negates; "x-y" is a range unless "y" is that "]".
std::vector<Token> tokens_of(const std::vector<char32_t>& p) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] == '*') {
            tokens.push_back({Token::kStar});
            continue;
        }
        if (p[i] == '?') {
            tokens.push_back({Token::kAny});
            continue;
        }
        if (p[i] == '[') {
            Token set{Token::kSet};
            size_t j = i + 1;
            if (j < p.size() && (p[j] == '!' || p[j] == '^')) set.negated = true, ++j;
            size_t first = j;
            while (j < p.size() && (j == first || p[j] != ']')) {
                if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
                    set.ranges.push_back({p[j], p[j + 2]});
                    j += 3;
                } else {
                    set.ranges.push_back({p[j], p[j]});
                    ++j;
                }
            }
            if (j < p.size()) {
                tokens.push_back(set);
                i = j;
                continue;
            }
        }
        tokens.push_back({Token::kLiteral, p[i]});
    }
    return tokens;
}

bool reference_matches(const std::string& pattern, const std::string& text) {
    std::vector<Token> tokens = tokens_of(code_points(pattern));
    std::vector<char32_t> t = code_points(text);
    // can[k][n]: the first k tokens match the first n characters.
    std::vector<std::vector<char>> can(tokens.size() + 1, std::vector<char>(t.size() + 1, 0));
    can[0][0] = 1;
    for (size_t k = 1; k <= tokens.size(); ++k) {
        const Token& token = tokens[k - 1];
        for (size_t n = 0; n <= t.size(); ++n) {
            if (token.kind == Token::kStar) {
                can[k][n] = can[k - 1][n] || (n > 0 && can[k][n - 1]);
            } else {
                can[k][n] = n > 0 && can[k - 1][n - 1] && token.takes(t[n - 1]);
            }
        }
    }
    return can[tokens.size()][t.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::string pattern = input.ConsumeRandomLengthString(64);
    std::string text = input.ConsumeRandomLengthString(64);
    if (velutil::glob_matches(pattern, text) != reference_matches(pattern, text)) std::abort();
    // The file-name rule never fails, whatever the name, pattern and prefix.
    std::string prefix = input.ConsumeRandomLengthString(8);
    velutil::match_file_name(text, pattern, prefix);
    return 0;
}
