#include "sheet_tiler.hpp"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstring>

#include "annotations.hpp"
#include "file_error.hpp"
#include "page_box.hpp"
#include "page_forms.hpp"
#include "pdf_objects.hpp"
#include "source_file.hpp"
#include "state.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/progress.hpp"
#include "velkit/frame/text.hpp"
#include "velkit/frame/tried_path.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::sheet_tile {

namespace {

constexpr int kLoggingDebug = 10;

py::object get(py::handle mapping, const char* key, py::object fallback) {
    return mapping.attr("get")(key, fallback);
}

std::string str(py::handle value) { return py::str(value); }

double real(py::handle value) { return py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>(); }

// What a source page brings to its fit: the /Rotate entry as stored
// (resolved when it is an indirect object; pypdf copies an entry inherited
// from the page tree into the page) and its crop box, whose corners may come
// in any order.
struct PageShape {
    py::object rot;
    double rotate;
    Box crop;
};

Box box_of(py::handle box) {
    return box_from_corners(real(box[py::int_(0)]), real(box[py::int_(1)]), real(box[py::int_(2)]),
                            real(box[py::int_(3)]));
}

PageShape shape_of(py::handle page) {
    py::object rot = page.attr("get")("/Rotate", 0);
    if (py::hasattr(rot, "get_object")) rot = rot.attr("get_object")();
    return {rot, real(rot), box_of(page.attr("cropbox"))};
}

Rect rect_of(py::handle target_rect) {
    py::sequence values = py::reinterpret_borrow<py::sequence>(target_rect);
    if (py::len(values) != 4) throw py::value_error("target_rect must be (x, y, width, height)");
    return {real(values[0]), real(values[1]), real(values[2]), real(values[3])};
}

TileOptions options_of(py::handle config_dict) {
    try {
        return read_options(frame::ConfigSection(config_dict, "config"));
    } catch (const frame::ConfigError& error) {
        throw py::value_error(error.what());
    }
}

// (paths, names) of (path, name) pairs in merge order of the names, which
// are compared as the file system's bytes; equal names keep the search
// order.
py::tuple split_sorted(const py::list& pairs, NameOrder order) {
    py::object fsencode = py::module_::import("os").attr("fsencode");
    std::vector<std::string> keys;
    keys.reserve(py::len(pairs));
    for (py::handle pair : pairs) keys.push_back(fsencode(pair[py::int_(1)]).cast<std::string>());
    py::list paths, names;
    for (size_t position : merge_order(keys, order)) {
        paths.append(pairs[position][py::int_(0)]);
        names.append(pairs[position][py::int_(1)]);
    }
    return py::make_tuple(paths, names);
}

// A length as the worker's attributes show it: 595, not 595.0.
py::object points(double value) {
    if (value == static_cast<double>(static_cast<long>(value))) return py::int_(static_cast<long>(value));
    return py::float_(value);
}

std::string file_system_path(py::handle path) {
    return py::module_::import("os").attr("fsencode")(path).cast<std::string>();
}

}  // namespace

SheetTiler::SheetTiler(py::object config_dict) : SheetTiler(config_dict, options_of(config_dict)) {}

SheetTiler::SheetTiler(py::object config_dict, TileOptions options)
    : conf(std::move(config_dict)), options_(std::move(options)) {
    // The attributes keep the configured values as given; the run uses the
    // checked options.
    input_folder = options_.input_folder;
    output_file = options_.output_file;
    py::object layout_conf = get(conf, "layout", py::dict());
    cols = get(layout_conf, "cols", py::int_(2));
    rows = get(layout_conf, "rows", py::int_(1));
    is_landscape = get(layout_conf, "landscape", py::bool_(false));
    margin = get(conf, "margin", py::int_(20));
    draw_grid = get(conf, "debug_grid", py::bool_(false));

    page_width = points(options_.sheet.width);
    page_height = points(options_.sheet.height);
    report_ = std::make_shared<ReportWriter>();
    writer = py::cast(report_);
    state().log.info("[INIT] Layout: " + str(cols) + "x" + str(rows) + ", Landscape=" + str(is_landscape));
}

std::pair<py::list, py::object> SheetTiler::inputs() const {
    py::list pairs;
    py::object report_found = py::none();
    if (helperlib::check_file_or_dir(input_folder) != 0) return {pairs, report_found};
    helperlib::FileList files = helperlib::find_files_with_extensions(input_folder, {"pdf"});
    frame::log_passed_over(state().log, helperlib::passed_over_entries(input_folder, {"pdf"}));
    // The report often lies in the input folder: merging it into the next
    // report would nest every earlier run.
    py::object os_path = py::module_::import("os").attr("path");
    py::object realpath = os_path.attr("realpath");
    py::object report = realpath(output_file);
    // A hard link to an input is that input too.
    py::object same_file = py::none();
    if (py::bool_(os_path.attr("isfile")(output_file))) same_file = os_path.attr("samefile");
    auto is_report = [&](py::handle path) {
        if (realpath(path).equal(report)) return true;
        if (same_file.is_none()) return false;
        try {
            return static_cast<bool>(py::bool_(same_file(path, output_file)));
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_OSError)) throw;
            return false;
        }
    };
    size_t count = std::min(py::len(files.paths), py::len(files.names));
    for (size_t i = 0; i < count; ++i) {
        if (is_report(files.paths[i])) {
            report_found = files.paths[i];
            continue;
        }
        pairs.append(py::make_tuple(files.paths[i], files.names[i]));
    }
    return {pairs, report_found};
}

py::tuple SheetTiler::get_file_list() const {
    if (int folder_state = helperlib::check_file_or_dir(input_folder); folder_state != 0) {
        state().log.error(folder_state == 2 ? "Error: Input folder " + frame::shown(input_folder) + " is not a folder"
                                            : "Error: Input folder not found: " + frame::shown_tried(input_folder));
        return py::make_tuple(py::list(), py::list());
    }
    auto [pairs, report] = inputs();
    if (!report.is_none()) state().log.debug(py::str("Not merging the report itself: " + frame::shown(report)));
    return split_sorted(pairs, options_.sort);
}

py::tuple SheetTiler::calculate_cell_layout() const {
    CellSize cell = cell_size(options_.grid());
    return py::make_tuple(cell.width, cell.height);
}

py::object SheetTiler::get_layout_params(py::handle source_page, py::handle target_rect) const {
    PageShape shape = shape_of(source_page);
    std::optional<Fit> fit = fit_page(shape.crop, shape.rotate, rect_of(target_rect));
    if (!fit) return py::none();
    py::dict params;
    params["scale"] = fit->scale;
    params["tx"] = fit->tx;
    params["ty"] = fit->ty;
    params["rot"] = shape.rot;
    params["x0"] = fit->x0;
    params["y0"] = fit->y0;
    params["src_w"] = fit->src_w;
    params["src_h"] = fit->src_h;
    return params;
}

py::object SheetTiler::create_red_frame_page(double x, double y, double w, double h) const {
    py::object page =
        pdf_name("PageObject").attr("create_blank_page")(py::arg("width") = page_width, py::arg("height") = page_height);
    py::object stream = pdf_name("DecodedStreamObject")();
    stream.attr("set_data")(py::bytes(frame_content({x, y, w, h})));
    py::object name = pdf_name("NameObject");
    page[name("/Contents")] = stream;
    page[name("/Resources")] = pdf_name("DictionaryObject")();
    return page;
}

void SheetTiler::place_file(py::handle path, py::handle shown_name, const std::string& name, Progress& progress) {
    std::unique_ptr<QPDF> source = open_source(file_system_path(path), options_.password_for(shown_name));
    // A file that fails part way takes out everything it added: its pages,
    // its annotations and its bookmark; the next file starts where this one
    // would have started.
    const Sheets::Mark mark = progress.sheets.mark();
    const CellCursor cursor = progress.cursor;
    const long total_pages = progress.total_pages;
    const size_t bookmarks = progress.outline.size();
    try {
        place_pages(*source, name, progress);
    } catch (...) {
        progress.sheets.rollback(mark);
        progress.cursor = cursor;
        progress.total_pages = total_pages;
        progress.outline.resize(bookmarks);
        throw;
    }
    if (std::optional<std::string> note = repair_note(*source)) state().log.warning(name + ": " + *note);
}

void SheetTiler::place_pages(QPDF& source, const std::string& name, Progress& progress) {
    const SheetLayout layout = options_.layout();
    const bool noting = py::bool_(state().log.object().attr("isEnabledFor")(kLoggingDebug));
    QPDF& report = report_->pdf();

    flatten_form_fields(source);
    LinkBook links(source);
    std::set<QPDFObjGen> copied, used_contents;
    std::optional<QPDFObjectHandle> first_sheet;
    long page_number = 0;
    progress.cursor.begin_file();
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(source).getAllPages()) {
        const std::string where = name + ": page " + std::to_string(++page_number);
        std::optional<Box> media = box_of(page.getAttribute("/MediaBox", false));
        if (!media) {
            throw SourceError("the file is damaged: page " + std::to_string(page_number) +
                              " has no media box of four numbers");
        }
        // A crop box that cannot be read is as good as none, as in a viewer.
        QPDFObjectHandle crop_entry = page.getAttribute("/CropBox", false);
        std::optional<Box> crop = crop_entry.isNull() ? std::nullopt : box_of(crop_entry);
        std::optional<ShownBox> shown = shown_box(*media, crop);
        if (!shown) {
            state().log.warning(where + " has no area (its media box is empty) and was left out");
            continue;
        }
        if (shown->fell_back) state().log.warning(where + " has a crop box without area; its media box is shown instead");

        // The layout core says where the page goes; everything that may
        // fail for this page happens before a new sheet is started.
        const CellCursor::Spot spot = progress.cursor.next();
        const PagePlacement placed = place_page(layout, spot.slot, shown->box, rotate_entry(page));
        if (!placed.fit) continue;  // not reached: the shown box has an area
        const Fit& fit = *placed.fit;
        const Matrix& placement = placed.matrix;
        QPDFObjectHandle form = page_form(report, page, shown->box, used_contents);
        if (spot.new_sheet) progress.sheets.start();
        progress.cursor.take();
        QPDFObjectHandle sheet = progress.sheets.current();
        if (!first_sheet) first_sheet = sheet;
        progress.sheets.place(form, placement);
        links.placed(page.getObjectHandle().getObjGen(), sheet, placement, shown->box);
        PageOnSheet on_sheet{report,
                             page,
                             shown->box,
                             placement,
                             progress.sheets,
                             links,
                             progress.turned_appearances,
                             copied,
                             [&where](const std::string& why) { state().log.warning(where + ": " + why); }};
        copy_annotations(on_sheet);
        if (noting) state().log.debug(py::str(placement_note(progress.total_pages, name, fit.scale, fit.tx, fit.ty)));
        if (options_.frames) progress.sheets.draw(frame_content(placed.cell));
        ++progress.total_pages;
    }
    if (!first_sheet) throw SourceError("the file has no page with an area");
    std::set<QPDFObjGen> unresolved = links.resolve();
    progress.sheets.remove_annotations(unresolved);
    if (!unresolved.empty()) {
        state().log.debug(py::str(name + ": " + std::to_string(unresolved.size()) +
                                  " links led to pages that are not in the report and were left out"));
    }
    OutlineItem item;
    item.title = name;
    item.kids = source_bookmarks(source, report, links);
    item.destination = QPDFObjectHandle::newArray();
    item.destination.appendItem(*first_sheet);
    item.destination.appendItem(QPDFObjectHandle::newName("/Fit"));
    progress.layers.carry(source, report, name);
    progress.outline.push_back(std::move(item));
}

void SheetTiler::run() {
    if (helperlib::check_file_or_dir(input_folder) != 0) tally.run_failed();
    auto [pairs, report] = inputs();
    if (!report.is_none() && !is_marked_report(file_system_path(report))) {
        // Only a report of this tool may be replaced: a user's file that
        // happens to have the report's name stays as it is.
        state().log.error("Error: output_file " + frame::shown(output_file) +
                          " is one of the input PDFs and was not written by sheet-tile; it is left as it is. "
                          "Choose another output_file.");
        tally.run_failed();
        return;
    }
    if (report.is_none() && py::bool_(py::module_::import("os").attr("path").attr("lexists")(output_file)) &&
        !is_marked_report(file_system_path(output_file))) {
        state().log.error("Error: output_file " + frame::shown(output_file) +
                          " exists and was not written by sheet-tile; it is left as it is. "
                          "Choose another output_file, or move that file away.");
        tally.run_failed();
        return;
    }
    py::tuple files = get_file_list();
    py::list paths = files[0];
    py::list names = files[1];
    if (py::len(paths) == 0) {
        state().log.warning("No PDF files found to merge.");
        return;
    }
    calculate_cell_layout();
    const Grid layout = options_.grid();
    Progress progress(report_->pdf(), layout.page_width, layout.page_height,
                      CellCursor(layout.cols * layout.rows, options_.new_sheet_per_file));
    state().log.info("[STEP 1] Processing " + std::to_string(py::len(paths)) + " files...");

    frame::ItemProgress files_done(py::len(paths));
    for (size_t i = 0; i < py::len(paths); ++i) {
        std::string name = frame::shown(names[i]);
        files_done.next(name);
        frame::ItemScope item(name);
        // One file's failure costs that file only; what it placed stays.
        try {
            place_file(paths[i], names[i], name, progress);
            tally.done();
            continue;
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            state().log.error("Failed " + name + ": " + frame::shown(error.value()));
        } catch (const std::exception& error) {
            if (auto* source_error = dynamic_cast<const SourceError*>(&error)) {
                for (const std::string& problem : source_error->problems()) state().log.warning(name + ": " + problem);
            }
            state().log.error("Failed " + name + ": " + failure_words(error));
        }
        tally.failed(name);
    }
    files_done.finish();
    progress.sheets.finish_all();
    write_outline(report_->pdf(), progress.outline);
    progress.layers.write(report_->pdf());
    bool saved = false;
    if (progress.total_pages == 0) {
        state().log.error("Nothing could be merged: none of the " + std::to_string(py::len(paths)) +
                          " PDF files could be read. No report written.");
        tally.run_failed();
    } else {
        saved = save_file();
        if (!saved) tally.run_failed();
    }
    long sheets = report_->page_count();
    std::string done = "Merged " + std::to_string(tally.done_count()) + " of " + std::to_string(py::len(paths)) +
                       " PDF files into " + std::to_string(sheets) + " sheets";
    if (progress.total_pages > 0 && !saved) {
        // The pages were placed, yet nothing reached the disk: not a success.
        frame::current_progress().end();
        state().log.summary(true, frame::summary_text(tally, done + " (report not written)"));
    } else {
        frame::log_summary(state().log, tally, done);
    }
}

bool SheetTiler::save_file() const {
    py::module_ os = py::module_::import("os");
    py::object output_dir = os.attr("path").attr("dirname")(output_file);
    if (py::len(output_dir) > 0 && !py::bool_(os.attr("path").attr("exists")(output_dir))) {
        os.attr("makedirs")(output_dir);
    }
    try {
        // Writing hundreds of sheets takes a while: the progress line says
        // so, and the writer how far it is.
        const long sheets = report_->page_count();
        frame::StepProgress saving("Saving the report (" + std::to_string(sheets) + (sheets == 1 ? " sheet)" : " sheets)"));
        // Replaces the report only when complete, so a failed save keeps
        // an earlier report.
        py::object buffer = py::module_::import("io").attr("BytesIO")();
        writer.attr("write")(buffer);
        frame::write_rebuildable_output(output_file, buffer.attr("getbuffer")());
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        state().log.error("Save failed: " + frame::shown(error.value()));
        return false;
    } catch (const ::velutil::FileError& error) {
        state().log.error("Save failed: " + std::string(error.what()) + " (" + std::strerror(error.error_number()) +
                          ")");
        return false;
    }
    state().log.info("[DONE] Successfully saved merged report: " + frame::shown(output_file));
    frame::echo("Success: " + frame::shown(output_file));
    return true;
}

void register_tiler(py::module_& m) {
    // The methods' __doc__ is their own text, without a signature line.
    py::options options;
    options.disable_function_signatures();
    py::class_<SheetTiler>(m, "SheetTiler", "處理 PDF 合併與排版的應用類別")
        .def(py::init<py::object>(), py::arg("config_dict"))
        .def_readwrite("conf", &SheetTiler::conf)
        .def_readwrite("input_folder", &SheetTiler::input_folder)
        .def_readwrite("output_file", &SheetTiler::output_file)
        .def_readwrite("cols", &SheetTiler::cols)
        .def_readwrite("rows", &SheetTiler::rows)
        .def_readwrite("is_landscape", &SheetTiler::is_landscape)
        .def_readwrite("margin", &SheetTiler::margin)
        .def_readwrite("draw_grid", &SheetTiler::draw_grid)
        .def_readwrite("page_width", &SheetTiler::page_width)
        .def_readwrite("page_height", &SheetTiler::page_height)
        .def_readwrite("writer", &SheetTiler::writer)
        .def("get_file_list", &SheetTiler::get_file_list)
        .def("calculate_cell_layout", &SheetTiler::calculate_cell_layout)
        .def("_get_layout_params", &SheetTiler::get_layout_params, py::arg("source_page"), py::arg("target_rect"),
             "計算縮放與位移參數")
        .def("run", &SheetTiler::run)
        .def("_create_red_frame_page", &SheetTiler::create_red_frame_page, py::arg("x"), py::arg("y"), py::arg("w"),
             py::arg("h"), "Debug用紅框")
        .def("_save_file", [](const SheetTiler& tiler) { tiler.save_file(); });
}

}  // namespace velkit::sheet_tile
