// Small conversions between qpdf's object handles and the plain geometry.
#pragma once
#include <qpdf/QPDFObjectHandle.hh>

#include <optional>
#include <vector>

#include "geometry.hpp"

namespace velkit::sheet_tile {

// The numbers of an array (references resolved), or nothing when `value`
// is no array or holds anything but numbers.
std::optional<std::vector<double>> numbers_of(QPDFObjectHandle value);

// A box given as [x1 y1 x2 y2] with its corners in any order; nothing when
// it is not four numbers.
std::optional<Box> box_of(QPDFObjectHandle value);

// A direct array of reals.
QPDFObjectHandle real_array(const std::vector<double>& values);

// [left bottom right top] of `box`.
QPDFObjectHandle box_array(const Box& box);

// `m` as a direct [a b c d e f] array.
QPDFObjectHandle matrix_array(const Matrix& m);

// A six-number array as a matrix, or the identity.
Matrix matrix_of(QPDFObjectHandle value);

}  // namespace velkit::sheet_tile
