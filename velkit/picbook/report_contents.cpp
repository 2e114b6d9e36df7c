// The contents page of ReportGenerator: title, facts and the linked list of
// groups, continued on further pages when it is long.
#include <algorithm>

#include "layout.hpp"
#include "report_generator.hpp"
#include "report_styles.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::picbook {

namespace {

constexpr double kFactX = 18;
constexpr double kFactLabelWidth = 35;
constexpr double kFactLabelMaxWidth = 90;

}  // namespace

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

    // Entries that do not fit a page continue on the next one. A group that
    // matched nothing has no section to go to: its entry is plain text.
    int number = 1;
    for (auto item : data) {
        bool has_images = py::len(item.second) > 0;
        py::object link = py::none();
        if (has_images) {
            link = pdf.attr("add_link")();
            links[item.first] = link;
        }
        std::string entry = std::to_string(number++) + ". " + frame::shown(item.first);
        if (!has_images) entry += " (no images)";
        const TextStyle& style = has_images ? kContentsEntry : kContentsEmptyEntry;
        FittedText text = fit_text(pdf, fonts_, style, entry, kAvailableWidth);
        double height = text.lines <= 1 ? 10 : text.height() + 4;
        new_page_if_needed(height);
        if (has_images) {
            pdf.attr("set_text_color")(0, 0, 255);
        } else {
            pdf.attr("set_text_color")(100);
        }
        if (text.lines <= 1) {
            py::dict options;
            options["new_x"] = "LMARGIN";
            options["new_y"] = "NEXT";
            if (has_images) options["link"] = link;
            pdf.attr("cell")(0, 10, fonts_.set(style.style, style.size, entry), **options);
        } else {
            double y = pdf.attr("get_y")().cast<double>();
            draw_text(pdf, fonts_, style, text, kMarginLR, y + 2, kAvailableWidth, "L", link);
            pdf.attr("set_y")(y + height);
        }
    }
    pdf.attr("set_text_color")(0);
}

}  // namespace velkit::picbook
