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

namespace velutil {

struct PatternMatch {
    bool matched = false;
    std::string caption;
};

bool has_wildcard(const std::string& pattern);

PatternMatch match_file_name(const std::string& file_name, const std::string& pattern,
                             const std::string& prefix);

}  // namespace velutil
