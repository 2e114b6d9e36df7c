#include "diagram_drawer.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include "file_error.hpp"
#include "paths.hpp"
#include "safe_files.hpp"
#include "svg.hpp"

namespace velkit::flowpage {

namespace {

struct FileStamp {
    bool present = false;
    struct stat info {};
};

FileStamp stamp_of(const std::string& path) {
    FileStamp stamp;
    stamp.present = ::stat(path.c_str(), &stamp.info) == 0 && S_ISREG(stamp.info.st_mode);
    return stamp;
}

bool same_file_state(const FileStamp& a, const FileStamp& b) {
    return a.present && b.present && a.info.st_ino == b.info.st_ino && a.info.st_size == b.info.st_size &&
           a.info.st_mtim.tv_sec == b.info.st_mtim.tv_sec && a.info.st_mtim.tv_nsec == b.info.st_mtim.tv_nsec;
}

bool ends_block(std::string_view line) {
    size_t end = line.find_last_not_of(" \t");
    if (end == std::string_view::npos || end < 2) return false;
    std::string_view tail = line.substr(end - 2, 3);
    return tail == "```" || tail == ":::";
}

std::string with_final_line_feed(const std::string& text) {
    return !text.empty() && text.back() == '\n' ? text : text + "\n";
}

void write_text(const std::string& path, const std::string& text) {
    ::velutil::write_file_atomically(path, text.data(), text.size(), ::velutil::Durability::kLeaveToSystem);
}

// The drawing read from `path`: drawn, or not drawn because the renderer
// drew its error picture instead.
void take_drawing(const std::string& path, Drawing& drawing) {
    drawing.svg = ::velutil::read_file(path);
    std::string error = error_drawing_message(drawing.svg);
    drawing.drawn = error.empty();
    if (!drawing.drawn) {
        drawing.rejected = true;
        drawing.problem = error;
        drawing.svg.clear();
    }
}

std::string problem_of(const ChildOutcome& outcome) {
    std::string line = first_error_line(outcome.output);
    return line.empty() ? outcome.description : line;
}

}  // namespace

bool fits_in_batch(const std::string& source) {
    if (source.find_first_not_of(" \t\n") == std::string::npos) return false;
    size_t start = 0;
    while (start < source.size()) {
        size_t end = source.find('\n', start);
        if (end == std::string::npos) end = source.size();
        if (ends_block(std::string_view(source).substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

DiagramDrawer::DiagramDrawer(std::string work_folder, RendererCall call)
    : work_folder_(std::move(work_folder)), call_(std::move(call)) {}

ChildOutcome DiagramDrawer::call(const std::vector<std::string>& args) {
    ++processes_;
    return call_(args);
}

std::vector<Drawing> DiagramDrawer::draw(const std::vector<DiagramJob>& jobs) {
    std::vector<Drawing> drawings(jobs.size());
    std::vector<size_t> batch;
    std::vector<size_t> alone;
    for (size_t i = 0; i < jobs.size(); ++i) (fits_in_batch(jobs[i].source) ? batch : alone).push_back(i);
    // Fewer than two diagrams gain nothing from a batch file.
    if (batch.size() == 1) alone.insert(alone.begin(), batch[0]), batch.clear();
    for (size_t index : draw_in_batches(jobs, batch, drawings)) alone.push_back(index);
    for (size_t index : alone) draw_alone(jobs[index], index, drawings[index]);
    return drawings;
}

std::vector<size_t> DiagramDrawer::draw_in_batches(const std::vector<DiagramJob>& jobs, std::vector<size_t> pending,
                                                   std::vector<Drawing>& drawings) {
    std::vector<size_t> alone;
    while (!pending.empty()) {
        std::string name = "batch-" + std::to_string(++batches_);
        std::string input = ::velutil::join_path(work_folder_, name + ".md");
        std::string output = ::velutil::join_path(work_folder_, name + "-out.md");
        std::string text;
        for (size_t index : pending) text += "```mermaid\n" + with_final_line_feed(jobs[index].source) + "```\n\n";
        write_text(input, text);
        ChildOutcome outcome = call({"-i", input, "-o", output});
        if (outcome.status == 127) {
            // The renderer could not be started: no single invocation would be either.
            for (size_t index : pending) drawings[index] = {false, "", outcome.description, outcome.output, false};
            break;
        }
        std::vector<size_t> missing;
        for (size_t n = 0; n < pending.size(); ++n) {
            std::string svg = ::velutil::join_path(work_folder_, name + "-out-" + std::to_string(n + 1) + ".svg");
            Drawing& drawing = drawings[pending[n]];
            if (!stamp_of(svg).present) {
                missing.push_back(pending[n]);
                continue;
            }
            take_drawing(svg, drawing);
            ::unlink(svg.c_str());
        }
        ::unlink(input.c_str());
        ::unlink(output.c_str());
        if (outcome.status == 0 || missing.empty()) {
            alone.insert(alone.end(), missing.begin(), missing.end());
            break;
        }
        // The batch stopped at its first missing diagram: that one failed.
        drawings[missing[0]] = {false, "", problem_of(outcome), outcome.output, false, outcome.status == 1};
        pending.assign(missing.begin() + 1, missing.end());
    }
    return alone;
}

void DiagramDrawer::draw_alone(const DiagramJob& job, size_t index, Drawing& drawing) {
    std::string input = job.input_path;
    std::string output = job.output_path;
    std::string scratch = ::velutil::join_path(work_folder_, "single-" + std::to_string(index + 1));
    if (input.empty()) {
        input = scratch + ".mmd";
        write_text(input, job.source);
    }
    if (output.empty()) output = scratch + ".svg";
    FileStamp before = stamp_of(output);
    ChildOutcome outcome = call({"-i", input, "-o", output});
    drawing.output = outcome.output;
    if (outcome.status != 0) {
        drawing.problem = problem_of(outcome);
        drawing.rejected = outcome.status == 1;
        return;
    }
    FileStamp after = stamp_of(output);
    if (!after.present || same_file_state(before, after)) {
        drawing.output_missing = true;
        drawing.problem = after.present ? "the renderer did not write " + output : "the renderer wrote no SVG file at " + output;
        return;
    }
    take_drawing(output, drawing);
    // An error picture is not a drawing: it does not stay in the site.
    if (!drawing.drawn) ::unlink(output.c_str());
}

}  // namespace velkit::flowpage
