// In which order the files are merged and which sheet and cell each page
// takes. Plain C++.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "geometry.hpp"

namespace velkit::sheet_tile {

// The configured texts of the fill orders: "rows", "columns", "rows_rtl".
extern const char* const kFillOrderNames;
std::optional<FillOrder> fill_order_named(const std::string& name);

// How the input files are ordered by name: by code point ("name") or as a
// person counts ("natural": "2.pdf" before "10.pdf", letter case ignored).
enum class NameOrder { kName, kNatural };
extern const char* const kNameOrderNames;
std::optional<NameOrder> name_order_named(const std::string& name);

// The positions of `names` (file names as bytes, UTF-8 for readable ones)
// in merge order. The sort is stable: names that compare equal keep their
// given order.
std::vector<size_t> merge_order(const std::vector<std::string>& names, NameOrder order);

// Where the next page goes: the sheets of a run filled cell by cell. A
// plain value, so that a caller can keep a copy and go back to it when a
// file has to be taken out again.
class CellCursor {
public:
    // `cells_per_sheet` is at least 1. With `sheet_per_file` every file
    // starts on a fresh sheet.
    CellCursor(long cells_per_sheet, bool sheet_per_file);

    // The pages of another file follow.
    void begin_file();

    struct Spot {
        bool new_sheet;  // the page needs a new sheet (and takes its slot 0)
        long slot;       // its slot on the sheet, in the grid's fill order
    };
    // Where the next page goes; nothing changes until `take`.
    Spot next() const;
    // The next page went to `next()`; a new sheet was started for it when
    // `next().new_sheet` said so.
    void take();

    // Whether a sheet has been started, and how many of its cells are used.
    bool started() const { return started_; }
    long used() const { return used_; }

private:
    long cells_per_sheet_;
    bool sheet_per_file_;
    bool started_ = false;
    long used_ = 0;
    bool file_begins_ = false;
};

}  // namespace velkit::sheet_tile
