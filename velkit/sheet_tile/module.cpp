// velkit.sheet_tile: the pages of every PDF of a folder placed N-up on
// sheets, merged into one PDF with an outline item per file.
#include "velkit/frame/pybind.hpp"

#include "report_writer.hpp"
#include "sheet_tiler.hpp"
#include "state.hpp"
#include "tiling_template.hpp"
#include "tool.hpp"
#include "velkit/frame/tool_module.hpp"

namespace {

void add_worker(py::module_& m) {
    velkit::sheet_tile::register_report_writer(m);
    velkit::sheet_tile::register_tiler(m);
}

}  // namespace

PYBIND11_MODULE(sheet_tile, m) {
    using namespace velkit::sheet_tile;
    // The PDF work is qpdf's, built into the module: no package to check.
    velkit::frame::define_tool<ModuleState>(
        m, kTool, {make_state, nullptr, add_worker, run_sheet_tile, kDefaultConfigJson});
}
