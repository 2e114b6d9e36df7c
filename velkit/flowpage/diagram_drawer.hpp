// Drawing many diagrams with as few renderer processes as possible. The
// renderer draws every ```mermaid block of one Markdown file in a single
// browser session ("-i batch.md -o out.md" writes out-1.svg, out-2.svg,
// ...) and stops at the first block that fails; the drawer reports that
// one and starts again with the rest. A diagram the batch cannot carry, or
// whose batch output is missing, is drawn on its own as "-i SOURCE -o SVG".
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "renderer.hpp"

namespace velkit::flowpage {

struct DiagramJob {
    std::string source;       // the diagram text
    std::string input_path;   // its own file for the single invocation; "" to write one
    std::string output_path;  // where the single invocation draws; "" for the work folder
};

struct Drawing {
    bool drawn = false;
    std::string svg;
    std::string problem;  // why it was not drawn: the renderer's error line
    std::string output;   // everything the renderer said about it
    // The single invocation exited 0 but left no new SVG at output_path.
    bool output_missing = false;
    // The renderer ran and refused the diagram itself (exit status 1 or its
    // error picture): drawing it again would fail again.
    bool rejected = false;
};

// Starts the renderer with these arguments and waits (output captured).
using RendererCall = std::function<ChildOutcome(const std::vector<std::string>& args)>;

// True when the text can go into a batch: the renderer's Markdown reader
// ends a block at the first line that ends in ``` or :::.
bool fits_in_batch(const std::string& source);

class DiagramDrawer {
public:
    // `work_folder` holds the batch files; it must exist.
    DiagramDrawer(std::string work_folder, RendererCall call);

    std::vector<Drawing> draw(const std::vector<DiagramJob>& jobs);

    int processes_started() const { return processes_; }

private:
    // Draws pending jobs in batches; returns the ones to draw on their own.
    std::vector<size_t> draw_in_batches(const std::vector<DiagramJob>& jobs, std::vector<size_t> pending,
                                        std::vector<Drawing>& drawings);
    void draw_alone(const DiagramJob& job, size_t index, Drawing& drawing);
    ChildOutcome call(const std::vector<std::string>& args);

    std::string work_folder_;
    RendererCall call_;
    int processes_ = 0;
    int batches_ = 0;
};

}  // namespace velkit::flowpage
