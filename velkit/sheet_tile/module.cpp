// velkit.sheet_tile: the pages of every PDF of a folder placed N-up on
// sheets, merged into one PDF with an outline item per file.
#include "velkit/frame/pybind.hpp"

#include "report_writer.hpp"
#include "sheet_tiler.hpp"
#include "state.hpp"
#include "tiling_template.hpp"
#include "velkit/frame/command.hpp"

namespace velkit::sheet_tile {
void register_command(py::module_& m);
}

PYBIND11_MODULE(sheet_tile, m) {
    using namespace velkit::sheet_tile;
    m.doc() = "SheetTile: the pages of a folder of PDFs placed several to a sheet.";
    init_state(m);
    m.attr("DEFAULT_CONFIG") = py::module_::import("json").attr("loads")(kDefaultConfigJson);
    register_report_writer(m);
    register_tiler(m);
    register_command(m);
    py::object command = m.attr("cmd_sheet_tile");
    m.def(
        "main", [command]() { velkit::frame::run_as_program(command, "sheet-tile"); },
        "Run sheet-tile as a program of its own, with the process's arguments.");
}
