// The group sections of ReportGenerator: cells, images (or placeholders),
// captions, and the rows' flow over pages.
#include <algorithm>
#include <vector>

#include "image_probe.hpp"
#include "layout.hpp"
#include "report_generator.hpp"
#include "report_styles.hpp"
#include "state.hpp"
#include "velkit/frame/outcome.hpp"
#include "velkit/frame/progress.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::picbook {

namespace {

std::string display_name(py::handle path) {
    return frame::shown(py::module_::import("os.path").attr("basename")(path));
}

}  // namespace

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

namespace {

// Enters a context manager of fpdf (a rotation, a mirror) and leaves it
// however the drawing inside ends.
class Context {
public:
    explicit Context(py::object manager) : manager_(std::move(manager)) { manager_.attr("__enter__")(); }
    ~Context() {
        py::none none;
        manager_.attr("__exit__")(none, none, none);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

private:
    py::object manager_;
};

}  // namespace

// The stored pixels into `shown`, turned and mirrored as the EXIF
// orientation says, so that the file itself is embedded.
void ReportGenerator::place_image(py::handle image, const Box& shown, int orientation_value) {
    Orientation orientation = exif_orientation(orientation_value);
    Box stored = stored_box(shown, orientation);
    auto draw = [&]() {
        pdf.attr("image")(image, py::arg("x") = stored.x, py::arg("y") = stored.y, py::arg("w") = stored.width,
                          py::arg("h") = stored.height);
    };
    double cx = shown.x + shown.width / 2;
    double cy = shown.y + shown.height / 2;
    if (orientation.clockwise_degrees == 0 && !orientation.mirrored) return draw();
    // fpdf turns counter-clockwise; the mirror line runs up and down through
    // the centre, so the image is flipped left to right before it is turned.
    Context turn(pdf.attr("rotation")(-orientation.clockwise_degrees, py::arg("x") = cx, py::arg("y") = cy));
    if (!orientation.mirrored) return draw();
    Context flip(pdf.attr("mirror")(py::make_tuple(cx, cy), "NORTH"));
    draw();
}

// The image, or its placeholder; one message at most per image.
void ReportGenerator::draw_image(py::handle record, const ImageInfo& known, double x, double y, double cell_w,
                                 double cell_h) {
    py::object path = record[py::str("path")];
    std::string name = display_name(path);
    std::string problem = known.problem;
    if (known.readable) {
        Box box = fit_in_cell(x, y, cell_w, cell_h, known.ratio());
        try {
            place_image(drawable_image(path, known, box.width, options_.max_image_dpi), box, known.orientation);
            if (placed_files_.insert(frame::fs_path(path)).second) {
                tally.done();
                if (known.ends_early) {
                    state().log.warning(name + ": the JPEG data ends early; it is embedded as it is");
                }
                if (known.pages > 1) {
                    state().log.warning(name + ": has " + std::to_string(known.pages) +
                                        " pages; the first is shown");
                }
            }
            return;
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            problem = image_problem(error, path);
        }
    }
    if (failed_names_.insert(name).second) {
        state().log.warning(name + " " + problem + "; it is shown as a placeholder");
        tally.failed(name);
    }
    draw_placeholder(name, problem, x, y, cell_w, cell_h);
}

void ReportGenerator::draw_group(const GroupOptions& group, py::list images) {
    const size_t count = py::len(images);
    std::vector<ImageInfo> infos;
    infos.reserve(count);
    std::vector<double> ratios;
    for (py::handle record : images) {
        py::object path = record[py::str("path")];
        frame::ItemScope item(display_name(path));
        infos.push_back(probe_image(path));
        if (infos.back().readable) ratios.push_back(infos.back().ratio());
    }
    const double cell_ratio = typical_ratio(ratios);

    int columns = usable_columns(group.cols_per_row);
    if (columns < group.cols_per_row) {
        state().log.warning("Group \"" + group.name + "\": " + std::to_string(group.cols_per_row) +
                            " columns do not fit the page width; " + std::to_string(columns) + " are used.");
    }
    double budget = group_budget(total_usable_h, group.experiments_per_page);
    double column_w = column_width(columns);
    int num_rows = row_count(static_cast<int>(count), columns);
    CellSize cell = cell_size(num_rows, column_w, cell_ratio, budget, options_.title_buffer, options_.row_gap);
    // What one row may take on a page: below the running header and the
    // group's title ("(continued)" included).
    double title_h = fit_text(pdf, fonts_, kGroupTitle, group.name + " (continued)", kAvailableWidth).height() + 1;
    double page_room = bottom_limit() - (options_.top_margin + kHeaderHeight) - title_h;
    CellSize roomiest = continuation_cell(column_w, cell_ratio, page_room - kCaptionGap - kMaxCaptionHeight);
    if (needs_continuation(cell, roomiest, ratios)) {
        // Unreadably small in its share of a page: readable cells instead,
        // on as many pages as it takes.
        cell = roomiest;
        state().log.info("Group \"" + group.name + "\" does not fit its share of a page; it continues on the "
                         "following pages.");
    }

    // Captions, fitted to the cell, and the rows' heights below their cells.
    // A caption that does not fit its cell at all (a cell narrower than a
    // character) goes into a line below the row, across the row's width.
    std::vector<FittedText> captions;
    std::vector<FittedText> row_notes;  // per row; empty when every caption fits its cell
    std::vector<std::string> caption_texts;
    for (size_t i = 0; i < count; ++i) {
        py::object record = images[i];
        int number = figure_number(options_.figure_numbers, static_cast<int>(i), columns, figures_before_);
        caption_texts.push_back(figure_caption(number, frame::shown(record[py::str("caption")])));
    }
    auto fit_captions = [&]() {
        TextStyle style = kCaption;
        // Twice when one caption had to be smaller: a group's captions share one size.
        for (int pass = 0; pass < 2; ++pass) {
            captions.clear();
            double smallest = style.size;
            for (size_t i = 0; i < count; ++i) {
                captions.push_back(fit_text(pdf, fonts_, style, caption_texts[i], cell.width));
                if (captions.back().lines > 0) smallest = std::min(smallest, captions.back().size);
            }
            if (smallest == style.size) break;
            style.size = style.least_size = smallest;
        }
        row_notes.clear();
        for (size_t first = 0; first < count; first += columns) {
            std::string note;
            int left_out = 0;
            for (size_t i = first; i < std::min(count, first + columns); ++i) {
                if (captions[i].lines > 0) continue;
                note += (note.empty() ? "" : "\n") + caption_texts[i];
                ++left_out;
            }
            TextStyle note_style = kCaption;
            note_style.max_lines = 2 * left_out;
            row_notes.push_back(note.empty() ? FittedText{}
                                             : fit_text(pdf, fonts_, note_style, note, kAvailableWidth));
        }
    };
    auto caption_height = [&](size_t first) {
        double tallest = 0;
        for (size_t i = first; i < std::min(count, first + columns); ++i) {
            tallest = std::max(tallest, captions[i].height());
        }
        return tallest + row_notes[first / columns].height();
    };
    auto tallest_caption = [&]() {
        double tallest = 0;
        for (size_t first = 0; first < count; first += columns) tallest = std::max(tallest, caption_height(first));
        return tallest;
    };
    fit_captions();
    // A row that could not fit even an empty page is made smaller.
    if (cell.height + kCaptionGap + tallest_caption() > page_room) {
        double limit = page_room - kCaptionGap - kMaxCaptionHeight;
        cell = {limit / cell_ratio, limit};
        fit_captions();
    }
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
                std::string name = display_name(record[py::str("path")]);
                frame::current_progress().next(name);
                frame::ItemScope item(name);
                draw_image(record, infos[i], x, row_top, cell.width, cell.height);
            }
            pdf.attr("set_text_color")(0);
            draw_text(pdf, fonts_, kCaption, captions[i], x, row_top + cell.height + kCaptionGap, cell.width, "C");
        }
        const FittedText& note = row_notes[first / columns];
        if (note.lines > 0) {
            double cell_captions = caption_height(first) - note.height();
            draw_text(pdf, fonts_, kCaption, note, kMarginLR, row_top + cell.height + kCaptionGap + cell_captions,
                      kAvailableWidth, "L");
        }
        bottom = row_top + row_extent(first);
        row_top += row_advance(cell.height, options_.row_gap, caption_height(first));
    }
    // The next group starts below the tallest caption of the last row.
    pdf.attr("set_xy")(kMarginLR, bottom);
    figures_before_ += static_cast<int>(count);
    ++groups_drawn_;
}

}  // namespace velkit::picbook
