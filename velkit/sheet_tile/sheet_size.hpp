// The size of the output sheets: a named paper size or one in points,
// turned upright or on its side. Plain C++.
#pragma once
#include <optional>
#include <string>

namespace velkit::sheet_tile {

struct SheetSize {
    double width;
    double height;
};

// The sheet size used when none is configured: A4 portrait.
constexpr SheetSize kA4{595, 842};

// The sides a sheet given in points may have: what viewers and printers
// take as a page.
constexpr double kMinSheetSide = 3;
constexpr double kMaxSheetSide = 14400;

// The names `paper_size` knows, as a message lists them.
extern const char* const kPaperNames;

// The portrait size of "A3", "A4", "A5", "Letter" or "Legal", the name in
// any ASCII letter case; nothing for another name.
std::optional<SheetSize> paper_size(const std::string& name);

// Whether a width or height given in points is one a sheet may have.
bool is_sheet_side(double points);

// `size` as the sheet's orientation asks: with `landscape` the longer side
// runs across the sheet; without it the size stays as given.
SheetSize oriented(SheetSize size, bool landscape);

}  // namespace velkit::sheet_tile
