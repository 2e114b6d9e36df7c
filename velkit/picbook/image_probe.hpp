// What the report needs to know about an image before placing it, read
// from its header only (no pixels are decoded), and the form it is drawn in.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

namespace velkit::picbook {

struct ImageInfo {
    bool readable = false;
    std::string problem;  // in plain words, when not readable
    double width = 0;     // as a viewer shows it (EXIF orientation applied)
    double height = 0;
    int orientation = 1;  // EXIF orientation, 1 when absent
    bool sixteen_bit = false;
    double ratio() const { return height / width; }
};

// Opens the image lazily; a JPEG whose data ends early is logged (through
// the current item) and kept.
ImageInfo probe_image(py::handle path);

// The object fpdf is given: the path itself (a JPEG is then embedded byte
// for byte), or an upright 8-bit copy for turned photos and 16-bit images.
py::object drawable_image(py::handle path, const ImageInfo& info);

// A library error met while reading or placing an image, in plain words:
// "cannot be read: the file is truncated", "is too large: 400 megapixels".
std::string image_problem(py::error_already_set& error, py::handle path);

}  // namespace velkit::picbook
