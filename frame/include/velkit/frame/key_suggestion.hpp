// The known key a misspelt configuration key most likely meant. Plain C++.
#pragma once
#include <set>
#include <string>

namespace velkit::frame {

// Edits (insert, delete, replace, swap of neighbours) between two keys,
// compared without regard to ASCII case.
std::size_t key_distance(const std::string& a, const std::string& b);

// The known key nearest to `unknown`; ties go to the first in order. Empty
// when `known` is empty.
std::string closest_key(const std::string& unknown, const std::set<std::string>& known);

}  // namespace velkit::frame
