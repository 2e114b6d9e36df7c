// Progress of a long run: a tool's item loop says how many items there are
// and which one starts, and one long step outside a loop (saving the
// report) says what it is and, when it can, how far it is; the frame decides
// how that is shown. Plain C++, so a core reports progress, and is tested,
// without an interpreter.
//
// Contract: one sink per command run. On a terminal it is one line on
// standard error that updates in place (items done of all, the current
// item, the time left; or the step, its share done, the time left);
// elsewhere (a log file, CI) a line when another tenth of the items is done
// or some seconds have passed, and a line when a step starts, then one every
// few seconds. It is gone before the closing summary is written and never
// reaches standard output.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace velkit::frame {

// Where an item loop reports to.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // The work is `total` items; called before the first one.
    virtual void begin(std::size_t total) = 0;
    // The next item starts; the items before it are done.
    virtual void next(const std::string& item) = 0;
    // One long step starts ("Saving the report (12 pages)"), in place of
    // any item loop; it is shown until end().
    virtual void begin_step(const std::string& what) = 0;
    // How much of the step is done, 0 to 1, as often as the step can tell;
    // the sink decides how often that is shown.
    virtual void step_share(double share) = 0;
    // The work is over, or stopped early: nothing of it stays on screen.
    virtual void end() = 0;
};

// The sink of the command that runs now; one that shows nothing when no
// command installed one.
ProgressSink& current_progress();

// Makes `sink` the current one while alive, then ends it and puts back
// the one before.
class ProgressScope {
public:
    explicit ProgressScope(ProgressSink& sink);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    ProgressSink* previous_;
};

// One loop's progress: begins on construction, ends when it goes out of
// scope, also when an error leaves the loop.
class ItemProgress {
public:
    explicit ItemProgress(std::size_t total, ProgressSink& sink = current_progress());
    ~ItemProgress();
    ItemProgress(const ItemProgress&) = delete;
    ItemProgress& operator=(const ItemProgress&) = delete;

    void next(const std::string& item) { sink_.next(item); }
    // The loop is over: the line goes before what follows it (a save) runs.
    void finish() { sink_.end(); }

private:
    ProgressSink& sink_;
};

// One long step's progress: shown from construction until it goes out of
// scope, also when an error leaves the step.
class StepProgress {
public:
    explicit StepProgress(const std::string& what, ProgressSink& sink = current_progress());
    ~StepProgress();
    StepProgress(const StepProgress&) = delete;
    StepProgress& operator=(const StepProgress&) = delete;

    void share(double done) { sink_.step_share(done); }

private:
    ProgressSink& sink_;
};

// What a meter draws on.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    // True on a terminal: show() and clear() rewrite one line in place.
    virtual bool live() const = 0;
    // Columns a live line may use.
    virtual std::size_t width() const = 0;
    virtual void show(const std::string& text) = 0;
    virtual void clear() = 0;
    // Not on a terminal: one more line.
    virtual void line(const std::string& text) = 0;
};

// Seconds on a clock that never goes back.
using Clock = std::function<double()>;
double steady_seconds();

// The sink that turns reports into what the display shows, and when.
class ProgressMeter : public ProgressSink {
public:
    // A live line is redrawn at most this often; a log gets a line at
    // least this far apart when no tenth of the work was crossed.
    static constexpr double kRedrawSeconds = 0.1;
    static constexpr double kLogSeconds = 5.0;
    // A step may report its share very often (a PDF writer, once per
    // percent): a live line follows it only a few times a second.
    static constexpr double kStepRedrawSeconds = 0.25;

    explicit ProgressMeter(ProgressDisplay& display, Clock clock = steady_seconds);
    ~ProgressMeter() override;

    void begin(std::size_t total) override;
    void next(const std::string& item) override;
    void begin_step(const std::string& what) override;
    void step_share(double share) override;
    void end() override;

private:
    std::string text(double now) const;
    void draw_step(double now);

    ProgressDisplay& display_;
    Clock clock_;
    std::size_t total_ = 0;
    std::size_t done_ = 0;
    std::size_t started_items_ = 0;
    std::string item_;
    double started_ = 0;
    double last_drawn_ = 0;
    std::size_t last_tenth_ = 0;
    bool running_ = false;
    bool shown_ = false;
    std::string step_;  // the step that runs now, "" when none
    std::optional<double> step_share_;
};

// "12 of 94 done, now b.pdf, about 40 s left" (without the time before any
// item is done).
std::string progress_text(std::size_t done, std::size_t total, const std::string& item,
                          std::optional<double> seconds_left);

// "Saving the report (12 pages), 40% done, about 3 s left" (without the
// share and the time before the step tells its share).
std::string step_text(const std::string& what, std::optional<double> share, std::optional<double> seconds_left);

// "40 s", "3 min 5 s", "2 h 10 min".
std::string duration_text(double seconds);

// `text` cut to `columns` characters (UTF-8 code points), ending with "…"
// when cut.
std::string fit_columns(const std::string& text, std::size_t columns);

}  // namespace velkit::frame
