// The picbook configuration template and the command's help text.
#pragma once
#include <string>

namespace velkit::picbook {

// The template as JSON text: 4-space indent, keys in template order.
extern const char* const kDefaultConfigJson;

// Introduction, the template's JSON text and one newline.
std::string help_text();

}  // namespace velkit::picbook
