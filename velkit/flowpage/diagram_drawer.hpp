// Drawing many diagrams with as few renderer processes as possible. The
// renderer draws every ```mermaid block of one Markdown file in a single
// browser session ("-i batch.md -o out.md" writes out-1.svg, out-2.svg,
// ...) and stops at the first block that fails; the drawer reports that
// one and starts again with the rest. A diagram the batch cannot carry, or
// whose batch output is missing, is drawn on its own as "-i SOURCE -o SVG".
//
// The renderer sees only the work folder, as its working folder, and names
// the drawer makes up there (ASCII, relative): it cannot open every name a
// file system allows, and a user's file name never reaches it. The drawings
// come back as text; the caller puts them where they belong.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "renderer.hpp"

namespace velkit::flowpage {

struct DiagramJob {
    std::string source;  // the diagram text
    std::string shown;   // where it comes from, as the user is shown it
};

struct Drawing {
    bool drawn = false;
    std::string svg;
    std::string problem;  // why it was not drawn: the renderer's error line
    std::string output;   // everything the renderer said about it
    // The single invocation exited 0 but wrote no SVG.
    bool output_missing = false;
    // The renderer ran and refused the diagram itself (exit status 1 or its
    // error picture): drawing it again would fail again.
    bool rejected = false;
};

// Starts the renderer with these arguments in the work folder and waits
// (output captured), at most `seconds`, calling `waiting` every few hundred
// milliseconds meanwhile (ChildLimits::waiting).
using Waiting = std::function<void()>;
using RendererCall =
    std::function<ChildOutcome(const std::vector<std::string>& args, double seconds, const Waiting& waiting)>;

// Told how many of the jobs are settled (drawn, or failed for good) and
// which job is being drawn now (an index into the jobs; the count of jobs
// when none is). While a batch runs, the drawings it has written so far
// count as settled: the renderer writes each as soon as it is drawn. The
// count never goes back.
using DrawProgress = std::function<void(size_t settled, size_t now)>;

// The time limit of one diagram; a batch gets it once per diagram.
constexpr double kDefaultSecondsPerDiagram = 120;

// True when the text can go into a batch: the renderer's Markdown reader
// ends a block at the first line that ends in ``` or :::.
bool fits_in_batch(const std::string& source);

class DiagramDrawer {
public:
    // `work_folder` holds the renderer's files; it must exist.
    DiagramDrawer(std::string work_folder, RendererCall call, double seconds_per_diagram = kDefaultSecondsPerDiagram);

    std::vector<Drawing> draw(const std::vector<DiagramJob>& jobs);

    void report_to(DrawProgress progress) { progress_ = std::move(progress); }

    int processes_started() const { return processes_; }

private:
    // Draws pending jobs in batches; returns the ones to draw on their own.
    std::vector<size_t> draw_in_batches(const std::vector<DiagramJob>& jobs, std::vector<size_t> pending,
                                        std::vector<Drawing>& drawings);
    void draw_alone(const DiagramJob& job, size_t index, Drawing& drawing);
    ChildOutcome call(const std::vector<std::string>& args, size_t diagrams, const Waiting& waiting = [] {});
    void report(size_t settled, size_t now);
    std::string in_work_folder(const std::string& name) const;

    std::string work_folder_;
    RendererCall call_;
    double seconds_per_diagram_;
    std::string cannot_run_;  // set once the renderer could not be started
    int processes_ = 0;
    int batches_ = 0;
    DrawProgress progress_;
    size_t settled_ = 0;
    size_t reported_ = 0;
};

}  // namespace velkit::flowpage
