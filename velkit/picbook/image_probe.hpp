// What the report needs to know about an image before placing it, read
// from its header only (no pixels are decoded), and the form it is drawn in.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

#include "layout.hpp"

namespace velkit::picbook {

struct ImageInfo {
    bool readable = false;
    std::string problem;  // in plain words, when not readable
    double width = 0;     // as a viewer shows it (EXIF orientation applied)
    double height = 0;
    long pixel_width = 0;  // as stored
    long pixel_height = 0;
    int orientation = 1;  // EXIF orientation, 1 when absent
    std::string format;   // Pillow's name: "JPEG", "PNG", "TIFF", ...
    bool sixteen_bit = false;
    bool colour_key = false;  // a tRNS colour key marks transparent pixels
    int pages = 1;            // pages of a multi-page TIFF
    bool ends_early = false;  // a JPEG whose data stops before the image does
    double ratio() const { return height / width; }
};

// Opens the image lazily and reads its header (and, for a JPEG, walks its
// segments to see whether the data is complete).
ImageInfo probe_image(py::handle path);

// The object fpdf is given, in the image's stored orientation (the
// placement turns it): the path itself when the file can go in as it is
// (a JPEG then byte for byte), else a copy that is 8-bit, keeps a colour
// key as transparency and, when `max_dpi` > 0, has at most that many
// pixels per inch over `drawn_w_mm` (the shown width).
py::object drawable_image(py::handle path, const ImageInfo& info, double drawn_w_mm, double max_dpi);

// A library error met while reading or placing an image, in plain words:
// "cannot be read: the file is truncated", "is too large: 400 megapixels".
std::string image_problem(py::error_already_set& error, py::handle path);

}  // namespace velkit::picbook
