// ReportGenerator: the run, the input side and the written file. The
// contents page is in report_contents.cpp, the group sections in
// report_groups.cpp.
#include "report_generator.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <numeric>

#include "file_error.hpp"
#include "layout.hpp"
#include "text_kit.hpp"
#include "state.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/own_outputs.hpp"
#include "velkit/frame/progress.hpp"
#include "velkit/frame/text.hpp"
#include "velkit/frame/tried_path.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::picbook {

namespace {

// Marks a report as this tool's own: only such a file is ever replaced.
const std::string kReportCreator = "Velkit picbook";

std::string one_decimal(double value) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

py::module_ os_path() { return py::module_::import("os.path"); }

std::string display_name(py::handle path) { return frame::shown(os_path().attr("basename")(path)); }

ReportOptions checked(py::handle config, py::handle main_page, py::handle groups) {
    try {
        return parse_options(config, main_page, groups);
    } catch (const frame::ConfigError& error) {
        throw py::value_error(error.what());
    }
}

}  // namespace

void lab_report_header(py::object self) {
    int page = self.attr("page_no")().cast<int>();
    if (page <= 1) return;
    py::object family = py::getattr(self, "header_family", py::str("helvetica"));
    if (py::hasattr(self, "header_fallbacks")) {
        // font_file may lack Latin letters: the report's chain.
        self.attr("set_fallback_fonts")(self.attr("header_fallbacks"), py::arg("exact_match") = false);
    }
    self.attr("set_font")(family, "B", 10);
    self.attr("set_text_color")(150);
    self.attr("cell")(0, 10, page_header_text(page), py::arg("align") = "R");
    self.attr("ln")(10);
}

ReportGenerator::ReportGenerator(py::object config, py::object main_page_, py::object user_groups)
    : ReportGenerator(config, main_page_, user_groups, checked(config, main_page_, user_groups)) {}

ReportGenerator::ReportGenerator(py::object config, py::object main_page_, py::object user_groups,
                                 ReportOptions options)
    : conf(std::move(config)),
      main_page(std::move(main_page_)),
      groups_def(std::move(user_groups)),
      options_(std::move(options)) {
    pdf = state().lab_report();
    pdf.attr("set_auto_page_break")(py::arg("auto") = false);
    pdf.attr("set_margins")(kMarginLR, options_.top_margin, kMarginLR);
    // windows-1252 covers what Latin-1 lacks in lab texts: the euro sign,
    // curly quotes and dashes.
    if (py::hasattr(pdf, "core_fonts_encoding")) pdf.attr("core_fonts_encoding") = "windows-1252";
    fonts_.attach(pdf);
    total_usable_h = usable_height(options_.page_height, options_.top_margin, options_.bottom_margin);
    state().log.info("[INIT] Total usable height: " + one_decimal(total_usable_h) + "mm");
}

py::dict ReportGenerator::parse_files() {
    py::object folder = options_.image_folder;
    state().log.info("Scanning files in " + frame::shown(folder) + "...");
    py::dict result;
    int folder_state = helperlib::check_file_or_dir(folder);
    folder_usable_ = folder_state == 0;
    if (!folder_usable_) {
        state().log.error(folder_state == 2 ? "Error: Image folder " + frame::shown(folder) + " is not a folder"
                                            : "Error: Image folder not found: " + frame::shown_tried(folder));
        return result;
    }
    const std::vector<std::string> extensions = {"png", "jpg", "jpeg", "bmp", "tif", "tiff"};
    helperlib::FileList files = helperlib::find_files_with_extensions(folder, extensions);
    frame::log_passed_over(state().log, helperlib::passed_over_entries(folder, extensions));
    all_paths_ = files.paths;
    state().log.info("Total images found: " + std::to_string(py::len(files.paths)));
    size_t count = std::min(py::len(files.paths), py::len(files.names));

    // The order a person counts in, by the names' bytes.
    std::vector<std::string> name_bytes(count);
    for (size_t i = 0; i < count; ++i) name_bytes[i] = frame::fs_path(files.names[i]);
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return velutil::natural_less(name_bytes[a], name_bytes[b]); });

    std::vector<bool> in_a_group(count, false);
    py::str prefix(options_.file_prefix);
    for (const GroupOptions& group : options_.groups) {
        if (py::len(py::str(group.pattern).attr("strip")()) == 0) continue;
        py::list records;
        result[group.key] = records;
        state().log.info("Matching for Group: " + group.name + " (Pattern: " + group.pattern + ")");
        py::str pattern(group.pattern);
        for (size_t i : order) {
            auto [matched, caption] = helperlib::parse_file_name(files.names[i], pattern, prefix);
            if (!matched) continue;
            in_a_group[i] = true;
            ++groups_of_file_[name_bytes[i]];
            py::dict record;
            record["path"] = files.paths[i];
            record["caption"] = caption;
            records.append(record);
        }
        state().log.info("  -> Matched " + std::to_string(py::len(records)) + " images.");
    }
    in_no_group_ = static_cast<size_t>(std::count(in_a_group.begin(), in_a_group.end(), false));
    return result;
}

double ReportGenerator::get_max_ratio_from_images(py::handle images) const {
    double max_ratio = 0;
    for (py::handle record : images) {
        py::object path = record[py::str("path")];
        ImageInfo info = probe_image(path);
        if (info.readable) {
            max_ratio = std::max(max_ratio, info.ratio());
        } else {
            state().log.warning("Cannot read image ratio for " + frame::shown(path) + ": " + info.problem);
        }
    }
    return max_ratio > 0 ? max_ratio : kFallbackRatio;
}

py::tuple ReportGenerator::calculate_layout_size(int num_rows, double standard_cell_w, double max_ratio,
                                                 double budget_height) const {
    CellSize cell =
        cell_size(num_rows, standard_cell_w, max_ratio, budget_height, options_.title_buffer, options_.row_gap);
    return py::make_tuple(cell.width, cell.height);
}


std::string ReportGenerator::output_problem(py::handle output) const {
    py::module_ path = os_path();
    bool exists = py::bool_(path.attr("exists")(output));
    if (!exists) return "";
    for (py::handle image : all_paths_) {
        if (py::bool_(path.attr("samefile")(output, image))) {
            return "output_file " + frame::shown(output) + " would replace the image " + display_name(image) +
                   "; choose another name";
        }
    }
    if (frame::existing_pdf_output(output, kReportCreator) == frame::Existing::kOther) {
        return "output_file " + frame::not_own_output_text(output, "picbook", "output_file");
    }
    return "";
}

bool ReportGenerator::write_output(py::handle path) {
    // The finished document goes to a temporary file that replaces the
    // report only when complete: a failed run keeps an earlier report. The
    // report is rebuilt from its images at will, so the write does not wait
    // for the disk (a report of large images runs to hundreds of MB).
    py::object content = pdf.attr("output")();
    try {
        frame::write_rebuildable_output(path, content);
    } catch (const ::velutil::FileError& error) {
        state().log.error("Error: Cannot write the report " + frame::shown(path) + ": " + error.what() + " (" +
                          std::strerror(error.error_number()) + ")");
        return false;
    }
    return true;
}

void ReportGenerator::generate() {
    py::dict data = parse_files();
    if (py::len(data) == 0) {
        state().log.warning("No data found matching patterns. Aborting.");
        if (!folder_usable_) tally.run_failed();
        return;
    }
    py::object output = os_path().attr("join")(options_.image_folder, options_.output_file);
    std::string problem = output_problem(output);
    if (!problem.empty()) {
        state().log.error("Error: " + problem + ".");
        tally.run_failed();
        return;
    }
    if (!options_.font_file.is_none()) {
        try {
            fonts_.use_font_file(options_.font_file);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            state().log.error("Error: Cannot use the font file " + frame::shown(options_.font_file) + ": " +
                              frame::shown(error.value()));
            tally.run_failed();
            return;
        }
    }
    pdf.attr("set_title")(options_.title);
    pdf.attr("set_creator")(kReportCreator);
    add_toc(data);

    std::size_t image_count = 0;
    for (auto item : data) image_count += py::len(item.second);
    frame::ItemProgress progress(image_count);
    for (auto item : data) {
        py::list images = py::reinterpret_borrow<py::list>(item.second);
        if (py::len(images) == 0) continue;
        // A name defined twice takes the later definition's layout.
        const GroupOptions* group = nullptr;
        for (const GroupOptions& definition : options_.groups) {
            if (definition.key.equal(item.first)) group = &definition;
        }
        state().log.info("Processing layout: " + group->name);
        draw_group(*group, images);
    }
    progress.finish();
    tally.skipped(in_no_group_);
    // Images in no group were not tried: a report of placeholders only has
    // not done its job, whatever else lies in the folder.
    if (placed_files_.empty() && !failed_names_.empty()) tally.run_failed();
    int pages = pdf.attr("page_no")().cast<int>();
    if (!tally.job_done() || placed_files_.empty()) {
        // An empty report, or one of placeholders only, would replace a
        // good earlier one.
        bool earlier = py::bool_(os_path().attr("lexists")(output));
        std::string text = "No image could be placed, so no report was written" +
                           (earlier ? "; the earlier report " + frame::shown(output) + " is left as it was" : "") + ".";
        if (tally.job_done()) {
            state().log.warning(text);
        } else {
            state().log.error(text);
        }
        frame::log_summary(state().log, tally, summary_start(pages), "in no group");
        return;
    }
    bool written = false;
    {
        // fpdf tells nothing while it builds the file, which takes seconds
        // for a report of large photos: the line says what runs meanwhile.
        frame::StepProgress saving("Saving the report (" + std::to_string(pages) +
                                   (pages == 1 ? " page)" : " pages)"));
        written = write_output(output);
    }
    if (!written) {
        tally.run_failed();
        return;
    }
    state().log.info("Success! Custom Report Generated: " + frame::shown(output));
    frame::log_summary(state().log, tally, summary_start(pages), "in no group");
}

// "Placed 68 images in 7 groups on 20 pages; 1 image is in two groups":
// files, not placements.
std::string ReportGenerator::summary_start(int pages) const {
    auto counted = [](size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::string text = "Placed " + counted(placed_files_.size(), "image", "images") + " in " +
                       counted(groups_drawn_, "group", "groups") + " on " +
                       counted(static_cast<size_t>(pages), "page", "pages");
    size_t shared = 0;
    int most = 0;
    for (const auto& [file, groups] : groups_of_file_) {
        if (groups < 2) continue;
        ++shared;
        most = std::max(most, groups);
    }
    if (shared > 0) {
        text += "; " + std::to_string(shared) + (shared == 1 ? " image is" : " images are") +
                (most == 2 ? " in two groups" : " in more than one group");
    }
    return text;
}

void register_report(py::module_& m) {
    py::object type = py::module_::import("builtins").attr("type");
    py::dict members;
    members["__module__"] = "velkit.picbook";
    members["__doc__"] = "The report document: fpdf's FPDF with a running page header.";
    py::object lab_report = type("LabReport", py::make_tuple(state().fpdf_class), members);
    lab_report.attr("header") = py::cpp_function(lab_report_header, py::name("header"), py::is_method(lab_report),
                                                 "Draws \"Lab Report - Page N\" at the top right from page 2 on.");
    lab_report.attr("get_fallback_font") =
        py::cpp_function(lab_report_fallback_font, py::name("get_fallback_font"), py::is_method(lab_report),
                         py::arg("char"), py::arg("style") = "",
                         "The font of the chain that has the character, else the built-in font for Latin-1 "
                         "characters.");
    m.attr("LabReport") = lab_report;
    state().lab_report = lab_report;

    py::class_<ReportGenerator>(m, "ReportGenerator", "Builds the lab report PDF from grouped images.")
        .def(py::init<py::object, py::object, py::object>(), py::arg("config"), py::arg("main_page"),
             py::arg("user_groups"))
        .def_readwrite("conf", &ReportGenerator::conf)
        .def_readwrite("main_page", &ReportGenerator::main_page)
        .def_readwrite("groups_def", &ReportGenerator::groups_def)
        .def_readwrite("pdf", &ReportGenerator::pdf)
        .def_readwrite("links", &ReportGenerator::links)
        .def_readwrite("total_usable_h", &ReportGenerator::total_usable_h)
        .def("parse_files", &ReportGenerator::parse_files)
        .def("get_max_ratio_from_images", &ReportGenerator::get_max_ratio_from_images, py::arg("images"))
        .def("calculate_layout_size", &ReportGenerator::calculate_layout_size, py::arg("num_rows"),
             py::arg("standard_cell_w"), py::arg("max_ratio"), py::arg("budget_height"))
        .def("add_toc", &ReportGenerator::add_toc, py::arg("data"))
        .def("generate", &ReportGenerator::generate);
}

}  // namespace velkit::picbook
