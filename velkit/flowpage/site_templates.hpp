// The page frames and the default configuration of the flowpage tool.
#pragma once

namespace velkit::flowpage {

// Frame of every document and diagram page: placeholders {title} (twice)
// and {body_content}.
extern const char* const kPageTemplate;

// Frame of index.html: placeholders {index_title} (twice), {md_section}
// and {chart_section}.
extern const char* const kIndexTemplate;

// The configuration template as JSON text, keys in template order.
extern const char* const kDefaultConfigJson;

}  // namespace velkit::flowpage
