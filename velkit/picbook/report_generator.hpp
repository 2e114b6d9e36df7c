// ReportGenerator: groups the images of a folder and renders the lab
// report with fpdf. The arithmetic lives in layout.hpp, the settings in
// ReportOptions (parsed once); this class drives the document.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <map>
#include <set>
#include <string>
#include <vector>

#include "image_probe.hpp"
#include "options.hpp"
#include "report_fonts.hpp"
#include "report_text.hpp"
#include "velkit/frame/run_tally.hpp"

namespace velkit::picbook {

class ReportGenerator {
public:
    // From Python: the three configuration members, checked here (ValueError
    // naming the key).
    ReportGenerator(py::object config, py::object main_page, py::object user_groups);
    // From the command, which has checked them already.
    ReportGenerator(py::object config, py::object main_page, py::object user_groups, ReportOptions options);

    // Group name -> list of {"path", "caption"} records, in configuration
    // order, images in natural order; empty when the image folder cannot be
    // scanned.
    py::dict parse_files();

    // The largest height/width ratio (as displayed) among the readable
    // images, else 0.75.
    double get_max_ratio_from_images(py::handle images) const;

    // (final_cell_w, final_cell_h) for a group.
    py::tuple calculate_layout_size(int num_rows, double standard_cell_w, double max_ratio,
                                    double budget_height) const;

    // Page 1 (and more when needed): title, facts and the linked list of groups.
    void add_toc(py::dict data);

    // The whole run: groups, contents, sections, and the file.
    void generate();

    py::object conf;
    py::object main_page;
    py::object groups_def;
    py::object pdf;
    py::dict links;
    double total_usable_h = 0;
    frame::RunTally tally;

private:
    double bottom_limit() const { return options_.page_height - options_.bottom_margin; }
    void new_page_if_needed(double height);
    double draw_title(const std::string& text);
    void draw_group(const GroupOptions& group, py::list images);
    void draw_image(py::handle record, const ImageInfo& info, double x, double y, double cell_w, double cell_h);
    void place_image(py::handle image, const Box& shown, int orientation_value);
    void draw_placeholder(const std::string& name, const std::string& problem, double x, double y, double w,
                          double h);
    std::string output_problem(py::handle output) const;
    std::string summary_start(int pages) const;
    bool write_output(py::handle path);

    ReportOptions options_;
    ReportFonts fonts_;
    bool folder_usable_ = false;
    py::list all_paths_;
    size_t in_no_group_ = 0;
    size_t groups_drawn_ = 0;
    int figures_before_ = 0;                     // figures of the groups drawn so far
    std::set<std::string> placed_files_;         // by their file-system bytes
    std::map<std::string, int> groups_of_file_;  // how many groups list each file
    std::set<std::string> failed_names_;
};

// fpdf's page hook of LabReport: the running header from page 2 on.
void lab_report_header(py::object self);

void register_report(py::module_& m);

}  // namespace velkit::picbook
