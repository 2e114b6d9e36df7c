#include "image_probe.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "jpeg_scan.hpp"
#include "png_chunks.hpp"
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

// Pillow has read the header up to the first scan when this is asked, so
// a file that ends with the end-of-image marker is complete: only a file
// that does not (cut short, or with bytes after the marker) is walked.
bool jpeg_ends_early(const std::string& fs_path) {
    std::ifstream file(fs_path, std::ios::binary | std::ios::ate);
    if (!file) return false;
    std::streamoff size = file.tellg();
    char tail[2] = {0, 0};
    if (size >= 2 && file.seekg(-2, std::ios::end) && file.read(tail, 2) &&
        static_cast<unsigned char>(tail[0]) == 0xFF && static_cast<unsigned char>(tail[1]) == 0xD9) {
        return false;
    }
    std::string bytes(static_cast<size_t>(std::max<std::streamoff>(size, 0)), '\0');
    file.clear();
    if (!file.seekg(0) || !file.read(bytes.data(), size)) return false;
    return jpeg_data(bytes) == JpegData::kEndsEarly;
}

// The EXIF block of an open image without decoding its pixels.
py::object exif_of(py::handle image, const std::string& format, py::handle path) {
    if (format != "PNG" || image.attr("info").contains("exif")) return image.attr("getexif")();
    py::object exif = pil_image().attr("Exif")();
    std::ifstream file(frame::fs_path(path), std::ios::binary);
    std::string block = png_exif_chunk(file);
    if (!block.empty()) exif.attr("load")(py::bytes(block));
    return exif;
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
            info.format = frame::shown(image.attr("format"));
            std::string mode = frame::shown(image.attr("mode"));
            // The EXIF block (a JPEG's APP1, a PNG's eXIf, a TIFF's tags)
            // sits in the header; reading it decodes nothing.
            py::object tag = exif_of(image, info.format, path).attr("get")(kOrientationTag, 1);
            if (py::isinstance<py::int_>(tag) && !py::isinstance<py::bool_>(tag)) {
                int value = tag.cast<int>();
                info.orientation = value >= 1 && value <= 8 ? value : 1;
            }
            info.pixel_width = size[0].cast<long>();
            info.pixel_height = size[1].cast<long>();
            bool turned = exif_orientation(info.orientation).swaps_sides();
            info.width = static_cast<double>(turned ? info.pixel_height : info.pixel_width);
            info.height = static_cast<double>(turned ? info.pixel_width : info.pixel_height);
            info.sixteen_bit = is_sixteen_bit(mode);
            info.colour_key = (mode == "RGB" || mode == "L" || info.sixteen_bit) &&
                              image.attr("info").contains("transparency");
            // Pages of a TIFF stack; the second frame of a phone's MPO photo
            // (a depth map or preview) is no page.
            if (info.format == "TIFF") info.pages = py::getattr(image, "n_frames", py::int_(1)).cast<int>();
            info.readable = info.pixel_width > 0 && info.pixel_height > 0;
            if (!info.readable) info.problem = "has no pixels";
            image.attr("close")();
            if (info.format == "JPEG") info.ends_early = jpeg_ends_early(frame::fs_path(path));
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

py::object drawable_image(py::handle path, const ImageInfo& info, double drawn_w_mm, double max_dpi) {
    bool turned = exif_orientation(info.orientation).swaps_sides();
    long shown_px = turned ? info.pixel_height : info.pixel_width;
    PixelSize target = resampled_size(info.pixel_width, info.pixel_height,
                                      drawn_w_mm * info.pixel_width / std::max(1L, shown_px), max_dpi);
    bool resample = target.width != info.pixel_width || target.height != info.pixel_height;
    // fpdf reads JPEG, PNG and the like itself; TIFF pages and the rest go
    // in as decoded copies.
    bool as_is_format = info.format == "JPEG" || info.format == "MPO" || info.format == "PNG" ||
                        info.format == "GIF" || info.format == "BMP";
    if (!resample && !info.sixteen_bit && !info.colour_key && info.pages == 1 && as_is_format) {
        return py::reinterpret_borrow<py::object>(path);
    }
    py::object image = pil_image().attr("open")(path);
    try {
        image.attr("load")();
        py::object copy = image;
        if (info.sixteen_bit) copy = eight_bit_copy(copy);
        std::string mode = frame::shown(copy.attr("mode"));
        if (info.colour_key) {
            copy = copy.attr("convert")(mode == "L" && !info.sixteen_bit ? "LA" : "RGBA");
        } else if (mode == "1" || mode == "P" || mode == "CMYK" || mode == "F" || mode == "I") {
            bool alpha = mode == "P" && copy.attr("info").contains("transparency");
            copy = copy.attr("convert")(mode == "CMYK" || mode == "P" ? (alpha ? "RGBA" : "RGB") : "L");
        }
        if (resample) {
            py::object lanczos = pil_image().attr("Resampling").attr("LANCZOS");
            copy = copy.attr("resize")(py::make_tuple(target.width, target.height), lanczos);
            if (info.format == "JPEG") {
                // A photo stays a JPEG: re-encoded at high quality, far
                // smaller than the same pixels kept lossless.
                py::object buffer = py::module_::import("io").attr("BytesIO")();
                copy.attr("save")(buffer, "JPEG", py::arg("quality") = 92);
                buffer.attr("seek")(0);
                image.attr("close")();
                return buffer;
            }
        }
        if (!copy.is(image)) image.attr("close")();
        return copy;
    } catch (...) {
        image.attr("close")();
        throw;
    }
}

}  // namespace velkit::picbook
