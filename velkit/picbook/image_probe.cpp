#include "image_probe.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "state.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::picbook {

namespace {

constexpr int kOrientationTag = 0x0112;

py::module_ pil_image() { return py::module_::import("PIL.Image"); }

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

// "Image size (400000000 pixels) exceeds limit ..." -> "400 megapixels".
std::string megapixels_in(const std::string& message) {
    size_t at = message.find('(');
    if (at == std::string::npos) return "";
    unsigned long long pixels = 0;
    const char* begin = message.data() + at + 1;
    auto [end, error] = std::from_chars(begin, message.data() + message.size(), pixels);
    if (error != std::errc() || end == begin) return "";
    if (pixels < 1000000) return std::to_string(pixels) + " pixels";
    return std::to_string((pixels + 500000) / 1000000) + " megapixels";
}

std::uintmax_t file_size(const std::string& fs_path) {
    std::ifstream file(fs_path, std::ios::binary | std::ios::ate);
    return file ? static_cast<std::uintmax_t>(file.tellg()) : 0;
}

// A complete JPEG ends with the EOI marker; only the last two bytes are read.
bool jpeg_ends_early(const std::string& fs_path) {
    std::ifstream file(fs_path, std::ios::binary);
    if (!file.seekg(-2, std::ios::end)) return true;
    char tail[2] = {0, 0};
    file.read(tail, 2);
    return !(static_cast<unsigned char>(tail[0]) == 0xFF && static_cast<unsigned char>(tail[1]) == 0xD9);
}

bool is_sixteen_bit(const std::string& mode) { return mode == "I" || mode.rfind("I;16", 0) == 0; }

// 16-bit values (0 to 65535) onto 0 to 255, so that the full range keeps
// its gradient instead of being clipped at 255.
py::object eight_bit_copy(py::object image) {
    py::object wide = image.attr("convert")("I");
    py::bytes raw = wide.attr("tobytes")("raw", "I");
    std::string_view values(raw);
    size_t count = values.size() / 4;
    std::string grey(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        int32_t value = 0;
        std::memcpy(&value, values.data() + 4 * i, 4);
        value = std::clamp(value, 0, 65535);
        grey[i] = static_cast<char>((value * 255 + 32767) / 65535);
    }
    return pil_image().attr("frombytes")("L", wide.attr("size"), py::bytes(grey));
}

}  // namespace

std::string image_problem(py::error_already_set& error, py::handle path) {
    py::module_ image = pil_image();
    std::string message = first_line(frame::shown(error.value()));
    if (error.matches(image.attr("DecompressionBombError"))) {
        std::string size = megapixels_in(message);
        return size.empty() ? "is too large" : "is too large: " + size;
    }
    if (error.matches(image.attr("UnidentifiedImageError"))) {
        return file_size(frame::fs_path(path)) == 0 ? "is empty" : "is not an image";
    }
    if (message.find("truncated") != std::string::npos) return "cannot be read: the file is truncated";
    if (error.matches(PyExc_OSError)) {
        py::object reason = error.value().attr("strerror");
        if (!reason.is_none()) return "cannot be read: " + frame::shown(reason);
    }
    return "cannot be read: " + message;
}

ImageInfo probe_image(py::handle path) {
    ImageInfo info;
    try {
        py::object image = pil_image().attr("open")(path);
        try {
            py::tuple size = image.attr("size");
            std::string format = frame::shown(image.attr("format"));
            std::string mode = frame::shown(image.attr("mode"));
            if (format == "JPEG" || format == "MPO") {
                // The EXIF block sits in the header; reading it decodes nothing.
                py::object tag = image.attr("getexif")().attr("get")(kOrientationTag, 1);
                if (py::isinstance<py::int_>(tag)) info.orientation = tag.cast<int>();
            }
            double width = size[0].cast<double>();
            double height = size[1].cast<double>();
            bool turned = info.orientation >= 5 && info.orientation <= 8;
            info.width = turned ? height : width;
            info.height = turned ? width : height;
            info.sixteen_bit = is_sixteen_bit(mode);
            info.readable = width > 0 && height > 0;
            if (!info.readable) info.problem = "has no pixels";
            image.attr("close")();
            if (format == "JPEG" && jpeg_ends_early(frame::fs_path(path))) {
                std::string name = frame::shown(py::module_::import("os.path").attr("basename")(path));
                state().log.warning(name + ": the JPEG data ends early; it is embedded as it is");
            }
        } catch (...) {
            image.attr("close")();
            throw;
        }
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        info.readable = false;
        info.problem = image_problem(error, path);
    }
    return info;
}

py::object drawable_image(py::handle path, const ImageInfo& info) {
    bool turned = info.orientation >= 2 && info.orientation <= 8;
    if (!turned && !info.sixteen_bit) return py::reinterpret_borrow<py::object>(path);
    py::object original = pil_image().attr("open")(path);
    py::object image = original;
    if (turned) image = py::module_::import("PIL.ImageOps").attr("exif_transpose")(image);
    if (info.sixteen_bit) image = eight_bit_copy(image);
    if (!image.is(original)) original.attr("close")();
    return image;
}

}  // namespace velkit::picbook
