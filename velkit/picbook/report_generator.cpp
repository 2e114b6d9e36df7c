#include "report_generator.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <numeric>

#include "file_error.hpp"
#include "layout.hpp"
#include "natural_order.hpp"
#include "safe_files.hpp"
#include "state.hpp"
#include "velkit/frame/config_values.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/text.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::picbook {

namespace {

// Text styles of the report; sizes in points, line heights in millimetres.
const TextStyle kReportTitle{"B", 20, 20, 0.5, 4};
const TextStyle kFact{"B", 10, 10, 0.4, 12};
const TextStyle kContentsEntry{"U", 12, 12, 0.5, 4};
const TextStyle kGroupTitle{"B", 14, 14, 8.0 / 14, 3};
const TextStyle kCaption{"B", 8, 5, 0.5, 6};
const TextStyle kPlaceholder{"", 7, 5, 0.45, 8};

// The most a caption can take below its cell: kCaption's lines at full size.
constexpr double kMaxCaptionHeight = 6 * 4;
constexpr double kFactX = 18;
constexpr double kFactLabelWidth = 35;
constexpr double kFactLabelMaxWidth = 90;

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
    folder_usable_ = helperlib::check_file_or_dir(folder) == 0;
    if (!folder_usable_) {
        state().log.error("Error: Image folder not found: " + frame::shown(folder));
        return result;
    }
    helperlib::FileList files = helperlib::find_files_with_extensions(folder, {"png", "jpg", "jpeg", "bmp"});
    all_paths_ = files.paths;
    state().log.info("Total images found: " + std::to_string(py::len(files.paths)));
    size_t count = std::min(py::len(files.paths), py::len(files.names));

    // The order a person counts in, by the names' bytes.
    std::vector<std::string> name_bytes(count);
    for (size_t i = 0; i < count; ++i) name_bytes[i] = frame::fs_path(files.names[i]);
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return natural_less(name_bytes[a], name_bytes[b]); });

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

void ReportGenerator::new_page_if_needed(double height) {
    if (pdf.attr("get_y")().cast<double>() + height > bottom_limit()) pdf.attr("add_page")();
}

void ReportGenerator::add_toc(py::dict data) {
    pdf.attr("add_page")();
    pdf.attr("set_text_color")(0);
    FittedText title = fit_text(pdf, fonts_, kReportTitle, options_.title, kAvailableWidth);
    if (title.lines <= 1) {
        py::str shown = fonts_.set("B", 20, options_.title);
        pdf.attr("cell")(0, 20, shown, py::arg("align") = "C", py::arg("new_x") = "LMARGIN",
                         py::arg("new_y") = "NEXT");
    } else {
        draw_text(pdf, fonts_, kReportTitle, title, kMarginLR, pdf.attr("get_y")().cast<double>(), kAvailableWidth, "C");
        pdf.attr("ln")(4);
    }

    // A label wider than its column widens the column (for every row, so
    // that the values stay aligned): a value always starts after its label.
    const double right_edge = kPageWidth - kMarginLR;
    double label_w = kFactLabelWidth;
    for (const auto& fact : options_.facts) {
        py::str label = fonts_.set("B", 10, fact.first);
        label_w = std::max(label_w, pdf.attr("get_string_width")(label).cast<double>() + 3);
    }
    label_w = std::min(label_w, kFactLabelMaxWidth);
    for (const auto& [label, value] : options_.facts) {
        double value_w = right_edge - kFactX - label_w;
        FittedText label_text = fit_text(pdf, fonts_, kFact, label, label_w);
        FittedText value_text = fit_text(pdf, fonts_, kFact, ":   " + value, value_w);
        double row_h = std::max({label_text.height(), value_text.height(), 4.0});
        new_page_if_needed(row_h);
        double y = pdf.attr("get_y")().cast<double>();
        pdf.attr("set_text_color")(0);
        draw_text(pdf, fonts_, kFact, label_text, kFactX, y, label_w, "L");
        draw_text(pdf, fonts_, kFact, value_text, kFactX + label_w, y, value_w, "L");
        pdf.attr("set_xy")(kMarginLR, y + row_h);
    }
    pdf.attr("ln")(10);

    // Entries that do not fit a page continue on the next one.
    int number = 1;
    for (auto item : data) {
        py::object link = pdf.attr("add_link")();
        links[item.first] = link;
        std::string entry = std::to_string(number++) + ". " + frame::shown(item.first);
        FittedText text = fit_text(pdf, fonts_, kContentsEntry, entry, kAvailableWidth);
        double height = text.lines <= 1 ? 10 : text.height() + 4;
        new_page_if_needed(height);
        pdf.attr("set_text_color")(0, 0, 255);
        if (text.lines <= 1) {
            pdf.attr("cell")(0, 10, fonts_.set("U", 12, entry), py::arg("new_x") = "LMARGIN",
                             py::arg("new_y") = "NEXT", py::arg("link") = link);
        } else {
            double y = pdf.attr("get_y")().cast<double>();
            draw_text(pdf, fonts_, kContentsEntry, text, kMarginLR, y + 2, kAvailableWidth, "L", link);
            pdf.attr("set_y")(y + height);
        }
    }
    pdf.attr("set_text_color")(0);
}

// The group's title at the cursor; returns its height.
double ReportGenerator::draw_title(const std::string& text) {
    FittedText title = fit_text(pdf, fonts_, kGroupTitle, text, kAvailableWidth);
    pdf.attr("set_text_color")(0, 51, 102);
    draw_text(pdf, fonts_, kGroupTitle, title, kMarginLR, pdf.attr("get_y")().cast<double>(), kAvailableWidth, "L");
    pdf.attr("ln")(1);
    return title.height() + 1;
}

void ReportGenerator::draw_placeholder(const std::string& name, const std::string& problem, double x, double y,
                                       double w, double h) {
    pdf.attr("set_draw_color")(150);
    pdf.attr("rect")(x, y, w, h);
    TextStyle style = kPlaceholder;
    style.max_lines = std::max(0, static_cast<int>((h - 2) / (style.size * style.line_height_per_point)));
    if (style.max_lines == 0 || w < 4) return;
    FittedText text = fit_text(pdf, fonts_, style, name + "\n" + problem, w - 2);
    pdf.attr("set_text_color")(120);
    draw_text(pdf, fonts_, style, text, x + 1, y + (h - text.height()) / 2, w - 2, "C");
    pdf.attr("set_text_color")(0);
}

void ReportGenerator::draw_image(py::handle record, const ImageInfo& known, double x, double y, double cell_w,
                                 double cell_h) {
    py::object path = record[py::str("path")];
    std::string name = display_name(path);
    std::string problem = known.problem;
    if (known.readable) {
        Box box = fit_in_cell(x, y, cell_w, cell_h, known.ratio());
        try {
            pdf.attr("image")(drawable_image(path, known), py::arg("x") = box.x, py::arg("y") = box.y,
                              py::arg("w") = box.width, py::arg("h") = box.height);
            ++images_placed_;
            tally.done();
            return;
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            problem = image_problem(error, path);
        }
    }
    state().log.warning(name + " " + problem + "; it is shown as a placeholder");
    if (failed_names_.insert(name).second) tally.failed(name);
    draw_placeholder(name, problem, x, y, cell_w, cell_h);
}

void ReportGenerator::draw_group(const GroupOptions& group, py::list images) {
    const size_t count = py::len(images);
    std::vector<ImageInfo> infos;
    infos.reserve(count);
    double max_ratio = 0;
    for (py::handle record : images) {
        py::object path = record[py::str("path")];
        frame::ItemScope item(display_name(path));
        infos.push_back(probe_image(path));
        if (infos.back().readable) max_ratio = std::max(max_ratio, infos.back().ratio());
    }
    if (max_ratio <= 0) max_ratio = kFallbackRatio;

    int columns = usable_columns(group.cols_per_row);
    if (columns < group.cols_per_row) {
        state().log.warning("Group \"" + group.name + "\": " + std::to_string(group.cols_per_row) +
                            " columns do not fit the page width; " + std::to_string(columns) + " are used.");
    }
    double budget = group_budget(total_usable_h, group.experiments_per_page);
    double column_w = column_width(columns);
    int num_rows = row_count(static_cast<int>(count), columns);
    CellSize cell = cell_size(num_rows, column_w, max_ratio, budget, options_.title_buffer, options_.row_gap);
    // What one row may take on a page: below the running header and the
    // group's title ("(continued)" included).
    double title_h = fit_text(pdf, fonts_, kGroupTitle, group.name + " (continued)", kAvailableWidth).height() + 1;
    double page_room = bottom_limit() - (options_.top_margin + kHeaderHeight) - title_h;
    if (needs_continuation(cell, column_w, max_ratio)) {
        // Unreadably small in its share of a page: readable cells instead,
        // on as many pages as it takes.
        cell = continuation_cell(column_w, max_ratio, page_room - kCaptionGap - kMaxCaptionHeight);
        state().log.info("Group \"" + group.name + "\" does not fit its share of a page; it continues on the "
                         "following pages.");
    }

    // Captions, fitted to the cell, and the rows' heights below their cells.
    std::vector<FittedText> captions;
    auto fit_captions = [&]() {
        TextStyle style = kCaption;
        double tallest = 0;
        // Twice when one caption had to be smaller: a group's captions share one size.
        for (int pass = 0; pass < 2; ++pass) {
            captions.clear();
            tallest = 0;
            double smallest = style.size;
            for (size_t i = 0; i < count; ++i) {
                py::object record = images[i];
                int column = static_cast<int>(i % columns);
                std::string caption = frame::shown(record[py::str("caption")]);
                captions.push_back(fit_text(pdf, fonts_, style, figure_caption(column, caption), cell.width));
                tallest = std::max(tallest, captions.back().height());
                smallest = std::min(smallest, captions.back().size);
            }
            if (smallest == style.size) break;
            style.size = style.least_size = smallest;
        }
        return tallest;
    };
    double tallest_caption = fit_captions();
    // A row that could not fit even an empty page is made smaller.
    if (cell.height + kCaptionGap + tallest_caption > page_room) {
        double limit = page_room - kCaptionGap - kMaxCaptionHeight;
        cell = {limit / max_ratio, limit};
        fit_captions();
    }
    auto caption_height = [&](size_t first) {
        double tallest = 0;
        for (size_t i = first; i < std::min(count, first + columns); ++i) {
            tallest = std::max(tallest, captions[i].height());
        }
        return tallest;
    };
    auto row_extent = [&](size_t first) { return cell.height + kCaptionGap + caption_height(first); };

    double cursor_y = pdf.attr("get_y")().cast<double>();
    Placement placement =
        place_group(cursor_y, budget, options_.page_height, options_.bottom_margin, options_.top_margin);
    // The title never stands alone at the foot of a page.
    double below = placement == Placement::kSeparator ? 10 : 0;
    double own_title_h = fit_text(pdf, fonts_, kGroupTitle, group.name, kAvailableWidth).height() + 1;
    if (placement != Placement::kNewPage && cursor_y + below + own_title_h + row_extent(0) > bottom_limit() &&
        cursor_y > options_.top_margin + kHeaderHeight) {
        placement = Placement::kNewPage;
    }
    switch (placement) {
        case Placement::kNewPage:
            pdf.attr("add_page")();
            break;
        case Placement::kSeparator: {
            double separator_y = cursor_y + 5;
            pdf.attr("set_draw_color")(200);
            pdf.attr("line")(kMarginLR, separator_y, kPageWidth - kMarginLR, separator_y);
            pdf.attr("set_y")(separator_y + 5);
            break;
        }
        case Placement::kAsIs:
            break;
    }

    double start_y = pdf.attr("get_y")().cast<double>();
    if (links.contains(group.key)) {
        pdf.attr("set_link")(links[group.key], py::arg("y") = start_y, py::arg("page") = pdf.attr("page_no")());
    }
    pdf.attr("start_section")(group.name);
    draw_title(group.name);

    double row_top = pdf.attr("get_y")().cast<double>();
    double page_top = row_top;
    double bottom = row_top;
    for (size_t first = 0; first < count; first += columns) {
        if (row_top + row_extent(first) > bottom_limit() && row_top > page_top) {
            pdf.attr("add_page")();
            draw_title(group.name + " (continued)");
            row_top = page_top = pdf.attr("get_y")().cast<double>();
        }
        for (size_t i = first; i < std::min(count, first + columns); ++i) {
            double x = column_x(static_cast<int>(i - first), cell.width);
            py::object record = images[i];
            {
                frame::ItemScope item(display_name(record[py::str("path")]));
                draw_image(record, infos[i], x, row_top, cell.width, cell.height);
            }
            pdf.attr("set_text_color")(0);
            draw_text(pdf, fonts_, kCaption, captions[i], x, row_top + cell.height + kCaptionGap, cell.width, "C");
        }
        bottom = row_top + row_extent(first);
        row_top += row_advance(cell.height, options_.row_gap, caption_height(first));
    }
    // The next group starts below the tallest caption of the last row.
    pdf.attr("set_xy")(kMarginLR, bottom);
    ++groups_drawn_;
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
    std::ifstream file(frame::fs_path(output), std::ios::binary);
    char magic[4] = {0, 0, 0, 0};
    file.read(magic, 4);
    if (!file || std::memcmp(magic, "%PDF", 4) != 0) {
        return "output_file " + frame::shown(output) + " exists and is not a PDF; choose another name";
    }
    return "";
}

bool ReportGenerator::write_output(py::handle path) {
    // The finished document goes to a temporary file that replaces the
    // report only when complete: a failed run keeps an earlier report. The
    // report is rebuilt from its images at will, so the write does not wait
    // for the disk (a report of large images runs to hundreds of MB).
    py::object content = pdf.attr("output")();
    py::buffer_info bytes = py::buffer(content).request();
    try {
        ::velutil::write_file_atomically(frame::fs_path(path), static_cast<const char*>(bytes.ptr),
                                         static_cast<size_t>(bytes.size * bytes.itemsize),
                                         ::velutil::Durability::kLeaveToSystem);
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
            pdf.attr("header_family") = "userfont";
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            state().log.error("Error: Cannot use the font file " + frame::shown(options_.font_file) + ": " +
                              frame::shown(error.value()));
            tally.run_failed();
            return;
        }
    }
    pdf.attr("set_title")(options_.title);
    pdf.attr("set_creator")("Velkit picbook");
    add_toc(data);

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
    tally.skipped(in_no_group_);
    if (!write_output(output)) {
        tally.run_failed();
        return;
    }
    state().log.info("Success! Custom Report Generated: " + frame::shown(output));
    int pages = pdf.attr("page_no")().cast<int>();
    frame::log_summary(state().log, tally,
                       "Placed " + std::to_string(images_placed_) + (images_placed_ == 1 ? " image in " : " images in ") + std::to_string(groups_drawn_) +
                           (groups_drawn_ == 1 ? " group" : " groups") + " on " + std::to_string(pages) +
                           (pages == 1 ? " page" : " pages"),
                       "in no group");
}

void register_report(py::module_& m) {
    py::object type = py::module_::import("builtins").attr("type");
    py::dict members;
    members["__module__"] = "velkit.picbook";
    members["__doc__"] = "The report document: fpdf's FPDF with a running page header.";
    py::object lab_report = type("LabReport", py::make_tuple(state().fpdf_class), members);
    lab_report.attr("header") = py::cpp_function(lab_report_header, py::name("header"), py::is_method(lab_report),
                                                 "Draws \"Lab Report - Page N\" at the top right from page 2 on.");
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
