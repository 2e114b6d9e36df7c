// Help texts that end in the tool's configuration template. Plain C++.
#pragma once
#include <string>
#include <vector>

namespace velkit::frame {

// click's marker line: the paragraph after it is printed as written,
// without re-wrapping.
inline const std::string kNoRewrap = "\b";

// Every line of `intro` ended by a newline, then the template's JSON text
// and one newline.
std::string help_with_template(const std::vector<std::string>& intro, const std::string& template_json);

}  // namespace velkit::frame
