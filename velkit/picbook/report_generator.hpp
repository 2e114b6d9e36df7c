// ReportGenerator: groups the images of a folder and renders the lab
// report with fpdf. The arithmetic lives in layout.hpp; this class holds the
// configuration objects and drives the document.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

namespace velkit::picbook {

class ReportGenerator {
public:
    ReportGenerator(py::object config, py::object main_page, py::object user_groups);

    // Group name -> list of {"path", "caption"} records, in configuration
    // order; empty when the image folder cannot be scanned.
    py::dict parse_files() const;

    // The largest height/width ratio among the readable images, else 0.75.
    double get_max_ratio_from_images(py::handle images) const;

    // (final_cell_w, final_cell_h) for a group.
    py::tuple calculate_layout_size(int num_rows, double standard_cell_w, double max_ratio,
                                    double budget_height) const;

    // Page 1: title, facts and the linked list of groups.
    void add_toc(py::dict data);

    // The whole run: groups, contents, sections, and the file.
    void generate();

    py::object conf;
    py::object main_page;
    py::object groups_def;
    py::object pdf;
    py::dict links;
    double total_usable_h = 0;

private:
    double number(const char* key, double fallback) const;
    py::object text_of(py::handle value) const;
    void draw_group(py::handle name_obj, py::handle group_conf, py::list images);
    void write_output() const;
};

// fpdf's page hook of LabReport: the running header from page 2 on.
void lab_report_header(py::object self);

void register_report(py::module_& m);

}  // namespace velkit::picbook
