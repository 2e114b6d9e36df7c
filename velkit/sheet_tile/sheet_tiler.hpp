// SheetTiler: places the pages of every PDF of a folder N-up on sheets and
// writes one merged PDF with an outline item per file. The arithmetic lives
// in geometry.hpp (`place_page`) and sheet_order.hpp; the PDF work is
// qpdf's.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "geometry.hpp"
#include "layers.hpp"
#include "outline.hpp"
#include "report_writer.hpp"
#include "sheet_order.hpp"
#include "sheets.hpp"
#include "tile_options.hpp"
#include "velkit/frame/run_tally.hpp"

namespace velkit::sheet_tile {

class SheetTiler {
public:
    // From Python: reads `config_dict` with the same checks as the command
    // (ValueError naming the key).
    explicit SheetTiler(py::object config_dict);
    // From the command, which has read the options already.
    SheetTiler(py::object config_dict, TileOptions options);

    // (paths, names) of the folder's PDFs in the configured name order,
    // without the output file itself; two empty lists when the folder is
    // missing or has none.
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

    // The configuration as given and its values as the class documents
    // them (not reassigned after construction).
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
    // The state of one run across files.
    struct Progress {
        Progress(QPDF& report, double width, double height, CellCursor cursor)
            : sheets(report, width, height), cursor(cursor) {}
        Sheets sheets;
        CellCursor cursor;
        long total_pages = 0;
        std::vector<OutlineItem> outline;
        Layers layers;
        TurnedAppearances turned_appearances;
    };

    // The folder's PDFs as (path, name) pairs in search order, and the
    // path of an existing output file found among them (else None).
    std::pair<py::list, py::object> inputs() const;
    void place_file(py::handle path, py::handle shown_name, const std::string& name, Progress& progress);
    void place_pages(QPDF& source, const std::string& name, Progress& progress);

    TileOptions options_;
    std::shared_ptr<ReportWriter> report_;
};

void register_tiler(py::module_& m);

}  // namespace velkit::sheet_tile
