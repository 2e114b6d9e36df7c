// The file-name rule that sorts measurement images into groups.
//
// A file matches a group when its stem (the name without its extension)
//  - starts with the prefix, when a prefix is given, and
//  - contains the pattern, or, when the pattern holds a wildcard ("*", "?"
//    or "[...]"), the pattern matches the whole caption (below), the whole
//    stem or the whole file name.
// Letter case counts, as it does in file names. Names are bytes, normally
// UTF-8; wildcards match by code point, and a byte that is not part of
// valid UTF-8 counts as one character of its own. No locale is consulted.
// The caption is the stem
// with the prefix and the separators after it ("_", "-", ".", blanks)
// removed; when nothing would be left it is the whole stem.
#pragma once
#include <string>
#include <string_view>

namespace velutil {

struct PatternMatch {
    bool matched = false;
    std::string caption;
};

bool has_wildcard(const std::string& pattern);

// Shell-style wildcards matched against the whole text, by code point: "*"
// any run, "?" one character, "[...]" one of a set ("!" or "^" first
// negates, "a-z" is a range, a "]" right after the opening is a member);
// a "[" without its closing "]" stands for itself. No locale.
bool glob_matches(std::string_view pattern, std::string_view text);

PatternMatch match_file_name(const std::string& file_name, const std::string& pattern,
                             const std::string& prefix);

}  // namespace velutil
