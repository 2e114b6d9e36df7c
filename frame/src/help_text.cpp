#include "velkit/frame/help_text.hpp"

namespace velkit::frame {

std::string help_with_template(const std::vector<std::string>& intro, const std::string& template_json) {
    std::string text;
    for (const auto& line : intro) text += line + "\n";
    return text + template_json + "\n";
}

}  // namespace velkit::frame
