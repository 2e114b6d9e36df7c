#include "sheet_writing.hpp"

namespace velutil {

void write_sheet(SheetSink& sink, const std::vector<SheetColumn>& columns, size_t rows) {
    std::vector<ColumnFit> fits;
    fits.reserve(columns.size());
    for (const auto& column : columns) {
        text_cell(column.header);  // refuses a header no cell can hold
        sink.header(column.sheet_column, column.header);
        fits.emplace_back(column.header);
    }
    sink.freeze_header();
    std::string scratch;
    for (size_t row = 0; row < rows; ++row) {
        for (size_t i = 0; i < columns.size(); ++i) {
            const SheetColumn& column = columns[i];
            if (row >= column.values->size()) continue;
            Cell cell = column.values->cell(row, scratch);
            if (cell.kind == CellKind::kBlank) continue;
            fits[i].add(cell);
            sink.cell(row + 1, column.sheet_column, cell);
        }
    }
    for (size_t i = 0; i < columns.size(); ++i) sink.column_width(columns[i].sheet_column, fits[i].width());
}

}  // namespace velutil
