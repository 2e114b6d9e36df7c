#include "report_generator.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "layout.hpp"
#include "file_error.hpp"
#include "safe_files.hpp"
#include "state.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::picbook {

namespace {

py::object get(py::handle mapping, const char* key, py::object fallback) {
    return mapping.attr("get")(key, fallback);
}

std::string str(py::handle value) { return py::str(value); }

std::string one_decimal(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

}  // namespace

void lab_report_header(py::object self) {
    int page = self.attr("page_no")().cast<int>();
    if (page <= 1) return;
    self.attr("set_font")("helvetica", "B", 10);
    self.attr("set_text_color")(150);
    self.attr("cell")(0, 10, page_header_text(page), py::arg("align") = "R");
    self.attr("ln")(10);
}

ReportGenerator::ReportGenerator(py::object config, py::object main_page_, py::object user_groups)
    : conf(std::move(config)), main_page(std::move(main_page_)), groups_def(std::move(user_groups)) {
    pdf = state().lab_report();
    pdf.attr("set_auto_page_break")(py::arg("auto") = false);
    pdf.attr("set_margins")(kMarginLR, number("top_margin", 15), kMarginLR);
    // windows-1252 covers what Latin-1 lacks in lab texts: the euro sign,
    // curly quotes and dashes.
    if (py::hasattr(pdf, "core_fonts_encoding")) pdf.attr("core_fonts_encoding") = "windows-1252";
    total_usable_h = usable_height(number("page_height", 297), number("top_margin", 15), number("bottom_margin", 15));
    state().log.info("[INIT] Total usable height: " + one_decimal(total_usable_h) + "mm");
}

double ReportGenerator::number(const char* key, double fallback) const {
    return get(conf, key, py::float_(fallback)).cast<double>();
}

// The text as the core font can show it: characters it cannot encode
// become "?", with one warning, so that one exotic character does not cost
// the whole report.
py::object ReportGenerator::text_of(py::handle value) const {
    py::str text = py::str(value);
    py::object encoding = py::hasattr(pdf, "core_fonts_encoding") ? pdf.attr("core_fonts_encoding")
                                                                  : py::object(py::str("latin-1"));
    py::object shown = text.attr("encode")(encoding, "replace").attr("decode")(encoding);
    if (!shown.equal(text)) {
        state().log.warning("The PDF font cannot show some characters of \"" + str(text) +
                            "\"; they are written as \"?\".");
    }
    return shown;
}

py::dict ReportGenerator::parse_files() const {
    py::object folder = get(conf, "image_folder", py::str("."));
    state().log.info("Scanning files in " + str(folder) + "...");
    py::dict result;
    if (helperlib::check_file_or_dir(folder) != 0) {
        state().log.error("Error: Image folder not found: " + str(folder));
        return result;
    }
    helperlib::FileList files = helperlib::find_files_with_extensions(folder, {"png", "jpg", "jpeg", "bmp"});
    state().log.info("Total images found: " + std::to_string(py::len(files.paths)));
    py::object prefix = get(conf, "file_prefix", py::str(""));
    size_t pairs = std::min(py::len(files.paths), py::len(files.names));

    for (py::handle group : groups_def) {
        py::object name = group[py::str("name")];
        py::object pattern = get(group, "pattern", py::str(""));
        if (py::len(pattern.attr("strip")()) == 0) continue;
        py::list records;
        result[name] = records;
        state().log.info("Matching for Group: " + str(name) + " (Pattern: " + str(pattern) + ")");
        for (size_t i = 0; i < pairs; ++i) {
            auto [matched, caption] = helperlib::parse_file_name(files.names[i], pattern, prefix);
            if (!matched) continue;
            py::dict record;
            record["path"] = files.paths[i];
            record["caption"] = caption;
            records.append(record);
        }
        state().log.info("  -> Matched " + std::to_string(py::len(records)) + " images.");
    }
    return result;
}

double ReportGenerator::get_max_ratio_from_images(py::handle images) const {
    if (py::len(images) == 0) return kFallbackRatio;
    double max_ratio = 0;
    py::object open_image = state().image_module.attr("open");
    for (py::handle record : images) {
        py::object path = record[py::str("path")];
        try {
            // Only the header is read for the size; the file is closed at once.
            py::object image = open_image(path);
            py::tuple size;
            try {
                size = image.attr("size").cast<py::tuple>();
            } catch (...) {
                image.attr("close")();
                throw;
            }
            image.attr("close")();
            double width = size[0].cast<double>();
            double height = size[1].cast<double>();
            if (width > 0) max_ratio = std::max(max_ratio, height / width);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            state().log.warning("Cannot read image ratio for " + str(path) + ": " + str(error.value()));
        }
    }
    return max_ratio > 0 ? max_ratio : kFallbackRatio;
}

py::tuple ReportGenerator::calculate_layout_size(int num_rows, double standard_cell_w, double max_ratio,
                                                 double budget_height) const {
    CellSize cell = cell_size(num_rows, standard_cell_w, max_ratio, budget_height, number("title_buffer", 25),
                              number("row_gap", 10));
    return py::make_tuple(cell.width, cell.height);
}

void ReportGenerator::add_toc(py::dict data) {
    py::object title = get(main_page, "title_of_report", py::str("Lab Report"));
    pdf.attr("add_page")();
    pdf.attr("set_font")("helvetica", "B", 20);
    pdf.attr("cell")(0, 20, text_of(title), py::arg("align") = "C", py::arg("new_x") = "LMARGIN",
                     py::arg("new_y") = "NEXT");
    pdf.attr("set_font")("helvetica", "B", 10);
    pdf.attr("set_text_color")(0);

    std::vector<std::pair<py::object, py::object>> facts;
    auto value_of = [&](const std::string& key) { return get(main_page, key.c_str(), py::none()); };
    if (py::bool_(value_of("dut_inform"))) facts.emplace_back(py::str("DUT"), value_of("dut_inform"));
    if (py::bool_(value_of("environment"))) facts.emplace_back(py::str("ENVIRONMENT"), value_of("environment"));
    for (int n = 1; n <= 10; ++n) {
        py::object label = value_of("user_title_" + std::to_string(n));
        py::object value = value_of("user_content_" + std::to_string(n));
        if (py::bool_(label) && py::bool_(value)) facts.emplace_back(label, value);
    }
    for (const auto& [label, value] : facts) {
        pdf.attr("set_x")(18);
        pdf.attr("cell")(35, 4, text_of(py::str(label).attr("strip")()), py::arg("align") = "L");
        pdf.attr("cell")(0, 4, text_of(py::str(":   ") + py::str(value)), py::arg("align") = "L",
                         py::arg("new_x") = "LMARGIN", py::arg("new_y") = "NEXT");
    }
    pdf.attr("ln")(10);

    pdf.attr("set_font")("helvetica", "U", 12);
    pdf.attr("set_text_color")(0, 0, 255);
    int number_in_list = 1;
    for (auto item : data) {
        py::object link = pdf.attr("add_link")();
        links[item.first] = link;
        py::str entry = py::str(std::to_string(number_in_list++) + ". ") + py::str(item.first);
        pdf.attr("cell")(0, 10, text_of(entry), py::arg("new_x") = "LMARGIN", py::arg("new_y") = "NEXT",
                         py::arg("link") = link);
    }
    pdf.attr("set_text_color")(0);
}

void ReportGenerator::draw_group(py::handle name_obj, py::handle group_conf, py::list images) {
    std::string name = str(name_obj);
    double budget = group_budget(total_usable_h, get(group_conf, "experiments_per_page", py::int_(1)).cast<double>());
    double columns = get(group_conf, "cols_per_row", py::int_(1)).cast<double>();
    int num_rows = row_count(static_cast<int>(py::len(images)), columns);
    py::tuple cell = calculate_layout_size(num_rows, column_width(columns), get_max_ratio_from_images(images), budget);
    double cell_w = cell[0].cast<double>();
    double cell_h = cell[1].cast<double>();

    double page_height = number("page_height", 297);
    double top_margin = number("top_margin", 15);
    double bottom_margin = number("bottom_margin", 15);
    double row_gap = number("row_gap", 10);

    double cursor_y = pdf.attr("get_y")().cast<double>();
    switch (place_group(cursor_y, budget, page_height, bottom_margin, top_margin)) {
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
    if (links.contains(name_obj)) {
        pdf.attr("set_link")(links[name_obj], py::arg("y") = start_y, py::arg("page") = pdf.attr("page_no")());
    }
    pdf.attr("set_font")("helvetica", "B", 14);
    pdf.attr("set_text_color")(0, 51, 102);
    pdf.attr("cell")(0, 8, text_of(name_obj), py::arg("new_x") = "LMARGIN", py::arg("new_y") = "NEXT");
    pdf.attr("ln")(1);

    // A cell without area cannot be drawn: the budget is used up by the
    // title and the row gaps.
    if (!(cell_w > 0 && cell_h > 0)) {
        state().log.warning("Group \"" + name + "\" does not fit its budget of " + one_decimal(budget) +
                            " mm: only its title is drawn. Lower experiments_per_page, title_buffer or "
                            "row_gap, or raise cols_per_row.");
        return;
    }

    auto per_row = static_cast<size_t>(columns);
    double row_top = pdf.attr("get_y")().cast<double>();
    size_t count = py::len(images);
    for (size_t first = 0; first < count; first += per_row) {
        for (size_t i = first; i < std::min(count, first + per_row); ++i) {
            int column = static_cast<int>(i - first);
            py::object record = images[i];
            py::object path = record[py::str("path")];
            double x = column_x(column, cell_w);
            try {
                pdf.attr("image")(path, py::arg("x") = x, py::arg("y") = row_top, py::arg("w") = cell_w,
                                  py::arg("h") = cell_h);
            } catch (py::error_already_set& error) {
                if (!error.matches(PyExc_Exception)) throw;
                std::string reason = str(error.value());
                py::raise_from(error, PyExc_RuntimeError,
                               ("Cannot place image " + str(py::repr(path)) + " in the report: " + reason).c_str());
                throw py::error_already_set();
            }
            pdf.attr("set_xy")(x, row_top + cell_h + 1);
            pdf.attr("set_font")("helvetica", "B", 8);
            pdf.attr("set_text_color")(0);
            pdf.attr("multi_cell")(cell_w, 4, text_of(py::str(figure_caption(column, str(record[py::str("caption")])))),
                                   py::arg("align") = "C");
        }
        row_top += cell_h + row_gap;
    }
}

void ReportGenerator::write_output() const {
    py::object folder = get(conf, "image_folder", py::str("."));
    py::object file = get(conf, "output_file", py::str("report.pdf"));
    py::object path = py::module_::import("os").attr("path").attr("join")(folder, file);
    // The finished document goes to a temporary file that replaces the
    // report only when complete: a failed run keeps an earlier report. The
    // report is rebuilt from its images at will, so the write does not wait
    // for the disk (a report of large images runs to hundreds of MB).
    py::object content = pdf.attr("output")();
    py::buffer_info bytes = py::buffer(content).request();
    std::string fs_path = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
    try {
        ::velutil::write_file_atomically(fs_path, static_cast<const char*>(bytes.ptr),
                                         static_cast<size_t>(bytes.size * bytes.itemsize),
                                         ::velutil::Durability::kLeaveToSystem);
    } catch (const ::velutil::FileError& error) {
        throw std::runtime_error("Cannot write the report " + str(py::repr(path)) + ": " + error.what() + " (" +
                                 std::strerror(error.error_number()) + ")");
    }
    state().log.info("Success! Custom Report Generated: " + str(path));
}

void ReportGenerator::generate() {
    py::dict data = parse_files();
    if (py::len(data) == 0) {
        state().log.warning("No data found matching patterns. Aborting.");
        return;
    }
    add_toc(data);

    py::dict group_conf_map;
    for (py::handle group : groups_def) group_conf_map[group[py::str("name")]] = group;

    for (auto item : data) {
        py::list images = py::reinterpret_borrow<py::list>(item.second);
        if (py::len(images) == 0) continue;
        std::string name = str(item.first);
        state().log.info("Processing layout: " + name);
        py::object group_conf = group_conf_map.contains(item.first) ? py::object(group_conf_map[item.first])
                                                                   : py::object(py::dict());
        draw_group(item.first, group_conf, images);
    }
    write_output();
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
