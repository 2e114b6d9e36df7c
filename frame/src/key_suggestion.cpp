#include "velkit/frame/key_suggestion.hpp"

#include <algorithm>
#include <vector>

#include "text_kit.hpp"

namespace velkit::frame {

using velutil::ascii_lower;

std::size_t key_distance(const std::string& a, const std::string& b) {
    // Optimal string alignment distance over three rows of the table.
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::size_t> before(m + 1), previous(m + 1), current(m + 1);
    for (std::size_t j = 0; j <= m; ++j) previous[j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= m; ++j) {
            std::size_t cost = ascii_lower(a[i - 1]) == ascii_lower(b[j - 1]) ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && ascii_lower(a[i - 1]) == ascii_lower(b[j - 2]) &&
                ascii_lower(a[i - 2]) == ascii_lower(b[j - 1])) {
                current[j] = std::min(current[j], before[j - 2] + 1);
            }
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[m];
}

std::string closest_key(const std::string& unknown, const std::set<std::string>& known) {
    std::string best;
    std::size_t best_distance = 0;
    for (const auto& key : known) {
        std::size_t distance = key_distance(unknown, key);
        if (best.empty() || distance < best_distance) {
            best = key;
            best_distance = distance;
        }
    }
    return best;
}

}  // namespace velkit::frame
