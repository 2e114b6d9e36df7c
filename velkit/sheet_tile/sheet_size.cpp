#include "sheet_size.hpp"

#include <cmath>
#include <utility>

#include "text_kit.hpp"

namespace velkit::sheet_tile {

const char* const kPaperNames = "\"A3\", \"A4\", \"A5\", \"Letter\", \"Legal\"";

namespace {

struct NamedPaper {
    const char* name;  // lower case
    SheetSize size;
};

// ISO sizes rounded to whole points as printers take them.
constexpr NamedPaper kPapers[] = {
    {"a3", {842, 1191}}, {"a4", kA4}, {"a5", {420, 595}}, {"letter", {612, 792}}, {"legal", {612, 1008}},
};

}  // namespace

std::optional<SheetSize> paper_size(const std::string& name) {
    const std::string wanted = ::velutil::ascii_lower(name);
    for (const NamedPaper& paper : kPapers) {
        if (wanted == paper.name) return paper.size;
    }
    return std::nullopt;
}

bool is_sheet_side(double points) {
    return std::isfinite(points) && points >= kMinSheetSide && points <= kMaxSheetSide;
}

SheetSize oriented(SheetSize size, bool landscape) {
    if (landscape && size.height > size.width) std::swap(size.width, size.height);
    return size;
}

}  // namespace velkit::sheet_tile
