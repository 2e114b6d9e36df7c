// The sheet-tile configuration template.
#pragma once

namespace velkit::sheet_tile {

// The template as JSON text, keys in template order.
extern const char* const kDefaultConfigJson;

}  // namespace velkit::sheet_tile
