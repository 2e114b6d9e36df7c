#include "velkit/frame/run_tally.hpp"

namespace velkit::frame {

void RunTally::failed(const std::string& item) { failed_.push_back(item); }

std::string name_list(const std::vector<std::string>& names, std::size_t shown) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
        if (i > 0) text += ", ";
        text += names[i];
    }
    if (names.size() > shown) text += " and " + std::to_string(names.size() - shown) + " more";
    return text;
}

std::string summary_text(const RunTally& tally, const std::string& done_text, const std::string& skip_reason) {
    std::string text = done_text;
    if (tally.skipped_count() > 0 && !skip_reason.empty()) {
        text += "; skipped " + std::to_string(tally.skipped_count()) + " (" + skip_reason + ")";
    }
    if (tally.failed_count() > 0) {
        text += "; " + std::to_string(tally.failed_count()) + " failed: " + name_list(tally.failed_items());
    }
    return text;
}

}  // namespace velkit::frame
