#include "diagram_drawer.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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

// Status 127: the renderer itself could not be started, whatever the diagram.
bool cannot_run(const ChildOutcome& outcome) { return outcome.status == 127; }

std::string problem_of(const ChildOutcome& outcome) {
    if (cannot_run(outcome)) return "the renderer cannot run: " + outcome.description;
    // A renderer stopped at its time limit says nothing useful about why.
    if (outcome.timed_out) return outcome.description;
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

DiagramDrawer::DiagramDrawer(std::string work_folder, RendererCall call, double seconds_per_diagram)
    : work_folder_(std::move(work_folder)), call_(std::move(call)), seconds_per_diagram_(seconds_per_diagram) {}

ChildOutcome DiagramDrawer::call(const std::vector<std::string>& args, size_t diagrams, const Waiting& waiting) {
    ++processes_;
    ChildOutcome outcome = call_(args, seconds_per_diagram_ * static_cast<double>(diagrams), waiting);
    if (cannot_run(outcome)) cannot_run_ = problem_of(outcome);
    return outcome;
}

void DiagramDrawer::report(size_t settled, size_t now) {
    reported_ = std::max(reported_, settled);
    if (progress_) progress_(reported_, now);
}

std::string DiagramDrawer::in_work_folder(const std::string& name) const {
    return ::velutil::join_path(work_folder_, name);
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
    report(settled_, jobs.size());
    return drawings;
}

std::vector<size_t> DiagramDrawer::draw_in_batches(const std::vector<DiagramJob>& jobs, std::vector<size_t> pending,
                                                   std::vector<Drawing>& drawings) {
    std::vector<size_t> alone;
    while (!pending.empty()) {
        std::string name = "batch-" + std::to_string(++batches_);
        std::string input = name + ".md";
        std::string output = name + "-out.md";
        std::string text;
        for (size_t index : pending) text += "```mermaid\n" + with_final_line_feed(jobs[index].source) + "```\n\n";
        write_text(in_work_folder(input), text);
        auto drawn_so_far = [&] {
            size_t count = 0;
            for (size_t n = 0; n < pending.size(); ++n) {
                count += stamp_of(in_work_folder(name + "-out-" + std::to_string(n + 1) + ".svg")).present ? 1 : 0;
            }
            report(settled_ + count, pending[std::min(count, pending.size() - 1)]);
        };
        report(settled_, pending[0]);
        ChildOutcome outcome = call({"-i", input, "-o", output}, pending.size(), drawn_so_far);
        if (cannot_run(outcome) || outcome.timed_out) {
            // No single invocation would start either; one that hung would
            // hang again, once per diagram.
            for (size_t index : pending) drawings[index] = {false, "", problem_of(outcome), outcome.output, false};
            settled_ += pending.size();
            ::unlink(in_work_folder(input).c_str());
            break;
        }
        std::vector<size_t> missing;
        for (size_t n = 0; n < pending.size(); ++n) {
            std::string svg = in_work_folder(name + "-out-" + std::to_string(n + 1) + ".svg");
            Drawing& drawing = drawings[pending[n]];
            if (!stamp_of(svg).present) {
                missing.push_back(pending[n]);
                continue;
            }
            take_drawing(svg, drawing);
            ++settled_;
            ::unlink(svg.c_str());
        }
        ::unlink(in_work_folder(input).c_str());
        ::unlink(in_work_folder(output).c_str());
        if (outcome.status == 0 || missing.empty()) {
            alone.insert(alone.end(), missing.begin(), missing.end());
            break;
        }
        // The batch stopped at its first missing diagram: that one failed.
        drawings[missing[0]] = {false, "", problem_of(outcome), outcome.output, false, outcome.status == 1};
        ++settled_;
        pending.assign(missing.begin() + 1, missing.end());
    }
    return alone;
}

void DiagramDrawer::draw_alone(const DiagramJob& job, size_t index, Drawing& drawing) {
    report(settled_, index);
    ++settled_;
    if (!cannot_run_.empty()) {
        drawing.problem = cannot_run_;
        return;
    }
    std::string name = "single-" + std::to_string(index + 1);
    std::string input = name + ".mmd";
    std::string output = name + ".svg";
    write_text(in_work_folder(input), job.source);
    FileStamp before = stamp_of(in_work_folder(output));
    ChildOutcome outcome = call({"-i", input, "-o", output}, 1);
    ::unlink(in_work_folder(input).c_str());
    drawing.output = outcome.output;
    FileStamp after = stamp_of(in_work_folder(output));
    if (outcome.status != 0) {
        drawing.problem = problem_of(outcome);
        drawing.rejected = outcome.status == 1;
    } else if (!after.present || same_file_state(before, after)) {
        drawing.output_missing = true;
        drawing.problem = "the renderer reported success but wrote no SVG file";
    } else {
        take_drawing(in_work_folder(output), drawing);
    }
    ::unlink(in_work_folder(output).c_str());
}

}  // namespace velkit::flowpage
