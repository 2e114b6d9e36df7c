#include "pdf_objects.hpp"

namespace velkit::sheet_tile {

std::optional<std::vector<double>> numbers_of(QPDFObjectHandle value) {
    if (!value.isArray()) return std::nullopt;
    std::vector<double> numbers;
    for (QPDFObjectHandle item : value.aitems()) {
        if (!item.isNumber()) return std::nullopt;
        numbers.push_back(item.getNumericValue());
    }
    return numbers;
}

std::optional<Box> box_of(QPDFObjectHandle value) {
    auto numbers = numbers_of(value);
    if (!numbers || numbers->size() != 4) return std::nullopt;
    const auto& v = *numbers;
    return box_from_corners(v[0], v[1], v[2], v[3]);
}

QPDFObjectHandle real_array(const std::vector<double>& values) {
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    for (double value : values) array.appendItem(QPDFObjectHandle::newReal(value, 5, true));
    return array;
}

QPDFObjectHandle box_array(const Box& box) {
    return real_array({box.left, box.bottom, box.left + box.width, box.bottom + box.height});
}

QPDFObjectHandle matrix_array(const Matrix& m) { return real_array({m.a, m.b, m.c, m.d, m.e, m.f}); }

Matrix matrix_of(QPDFObjectHandle value) {
    auto numbers = numbers_of(value);
    if (!numbers || numbers->size() != 6) return {1, 0, 0, 1, 0, 0};
    const auto& v = *numbers;
    return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

}  // namespace velkit::sheet_tile
