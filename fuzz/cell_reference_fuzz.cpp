// Cell references: any text either fails with a reason or names a cell of
// a sheet, and the cell's own name reads back as the same cell.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cell_reference.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    velutil::CellReference cell{};
    try {
        cell = velutil::parse_cell_reference(text);
    } catch (const std::invalid_argument&) {
        return 0;
    }
    if (cell.column < 0 || cell.column >= velutil::kMaxColumns || cell.row < 1 || cell.row > velutil::kMaxRows) {
        std::abort();
    }
    velutil::CellReference again = velutil::parse_cell_reference(velutil::column_letters(cell.column) +
                                                                  std::to_string(cell.row));
    if (again.column != cell.column || again.row != cell.row) std::abort();
    return 0;
}
