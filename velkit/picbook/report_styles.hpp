// The report's text styles and the measures shared by its pages. Sizes in
// points, line heights in millimetres.
#pragma once
#include "report_text.hpp"

namespace velkit::picbook {

inline const TextStyle kReportTitle{"B", 20, 20, 0.5, 4};
inline const TextStyle kFact{"B", 10, 10, 0.4, 12};
inline const TextStyle kContentsEntry{"U", 12, 12, 0.5, 4};
inline const TextStyle kContentsEmptyEntry{"", 12, 12, 0.5, 4};  // a group without images: no link
inline const TextStyle kGroupTitle{"B", 14, 14, 8.0 / 14, 3};
inline const TextStyle kCaption{"B", 8, 5, 0.5, 6};
inline const TextStyle kPlaceholder{"", 7, 5, 0.45, 8};

// The most a caption can take below its cell: kCaption's lines at full size.
constexpr double kMaxCaptionHeight = 6 * 4;

}  // namespace velkit::picbook
