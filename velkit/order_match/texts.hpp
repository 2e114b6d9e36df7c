// order-match's fixed texts: the configuration template, the run's
// messages and the summary's month labels.
#pragma once
#include <string>

namespace velkit::order_match {

// The template as JSON text, keys in template order.
extern const char* const kTemplateJson;

extern const char* const kInitDoc;

extern const char* const kResultFileName;
extern const char* const kDebugFileName;
extern const char* const kUnmatchedFileName;
extern const char* const kUnmatchedSaveFailed;

// A calendar month as the summary's column label: two-digit year, a hyphen
// and the English month abbreviation ("24-Jan"), whatever the locale.
std::string month_label(long long year, int month);

}  // namespace velkit::order_match
