// The order a person counts in: "ch2" before "ch10", "5m" before "10m".
// Plain C++, byte strings, no locale.
#pragma once
#include <string>

namespace velkit::picbook {

// Runs of digits compare as numbers, the rest as text without regard to
// ASCII letter case; names equal so far are ordered by fewer leading zeros,
// then by their bytes, so the order is total.
bool natural_less(const std::string& a, const std::string& b);

}  // namespace velkit::picbook
