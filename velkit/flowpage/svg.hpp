// What flowpage needs to know about and do with a drawn SVG before it goes
// into a page.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace velkit::flowpage {

// The renderer draws some failures as a picture instead of exiting with an
// error. Returns that picture's message ("Syntax error in text", "Maximum
// text size in diagram exceeded"), or "" for a real drawing.
std::string error_drawing_message(std::string_view svg);

// The id of the outermost <svg> element, "" when it has none.
std::string svg_id(std::string_view svg);

// The drawing with its root id renamed to `new_id` everywhere it is used:
// the renderer scopes styles ("#id .node") and markers ("url(#id_arrow)")
// by it, so two drawings on one page with the same id restyle each other.
std::string with_svg_id(std::string_view svg, std::string_view new_id);

// The natural width of the drawing in CSS pixels, from its viewBox (else its
// width attribute).
std::optional<double> drawing_width(std::string_view svg);

// The drawing wrapped for a page: never shrunk below three quarters of its
// natural width; the wrapper scrolls sideways instead.
std::string embed_drawing(std::string_view svg);

}  // namespace velkit::flowpage
