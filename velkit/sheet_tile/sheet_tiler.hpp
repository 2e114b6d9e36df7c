// SheetTiler: places the pages of every PDF of a folder N-up on A4 pages
// and writes one merged PDF with an outline item per file. The arithmetic
// lives in geometry.hpp; this class drives pypdf.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>
#include <string>

#include "geometry.hpp"
#include "velkit/frame/run_tally.hpp"

namespace velkit::sheet_tile {

class SheetTiler {
public:
    explicit SheetTiler(py::object config_dict);

    // (paths, names) of the folder's PDFs sorted by name, without the output
    // file itself; two empty lists when the folder is missing or has none.
    py::tuple get_file_list() const;

    // (cell_w, cell_h).
    py::tuple calculate_cell_layout() const;

    // The fit of `source_page` into `target_rect` (x, y, w, h) as a mapping,
    // or None when the page has no area.
    py::object get_layout_params(py::handle source_page, py::handle target_rect) const;

    void run();

    // A page of the output size holding only a red frame around the cell.
    py::object create_red_frame_page(double x, double y, double w, double h) const;

    // False (after logging why) when the report could not be written.
    bool save_file() const;

    py::object conf;
    py::object input_folder;
    py::object output_file;
    py::object cols;
    py::object rows;
    py::object is_landscape;
    py::object margin;
    py::object draw_grid;
    py::object page_width;
    py::object page_height;
    py::object writer;

    // The files merged and failed, and whether the run did its job.
    frame::RunTally tally;

private:
    Grid grid() const;
    std::optional<Fit> fit_of(py::handle source_page, const Rect& cell) const;
    void place_file(py::handle path, const std::string& name, long& item_index, long& total_pages,
                    py::object& current_page);
};

void register_tiler(py::module_& m);

}  // namespace velkit::sheet_tile
