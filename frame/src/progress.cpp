#include "velkit/frame/progress.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace velkit::frame {

namespace {

class NoProgress : public ProgressSink {
public:
    void begin(std::size_t) override {}
    void next(const std::string&) override {}
    void begin_step(const std::string&) override {}
    void step_share(double) override {}
    void end() override {}
};

ProgressSink*& installed() {
    static NoProgress nothing;
    static ProgressSink* sink = &nothing;
    return sink;
}

bool continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

ProgressSink& current_progress() { return *installed(); }

ProgressScope::ProgressScope(ProgressSink& sink) : previous_(installed()) { installed() = &sink; }

ProgressScope::~ProgressScope() {
    installed()->end();
    installed() = previous_;
}

ItemProgress::ItemProgress(std::size_t total, ProgressSink& sink) : sink_(sink) { sink_.begin(total); }

ItemProgress::~ItemProgress() { sink_.end(); }

StepProgress::StepProgress(const std::string& what, ProgressSink& sink) : sink_(sink) { sink_.begin_step(what); }

StepProgress::~StepProgress() { sink_.end(); }

double steady_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

ProgressMeter::ProgressMeter(ProgressDisplay& display, Clock clock) : display_(display), clock_(std::move(clock)) {}

ProgressMeter::~ProgressMeter() { end(); }

void ProgressMeter::begin(std::size_t total) {
    end();
    total_ = total;
    done_ = 0;
    started_items_ = 0;
    item_.clear();
    started_ = clock_();
    last_drawn_ = started_;
    last_tenth_ = 0;
    running_ = total > 0;
}

void ProgressMeter::next(const std::string& item) {
    if (!running_) return;
    if (started_items_ > 0 && done_ < total_) ++done_;
    ++started_items_;
    item_ = item;
    const double now = clock_();
    if (display_.live()) {
        // The first item shows at once; after that the line is redrawn at
        // a pace a reader can follow and a slow terminal can keep up with.
        if (shown_ && now - last_drawn_ < kRedrawSeconds) return;
        display_.show(fit_columns(text(now), display_.width()));
        shown_ = true;
        last_drawn_ = now;
        return;
    }
    const std::size_t tenth = done_ * 10 / total_;
    if (tenth > last_tenth_ || now - last_drawn_ >= kLogSeconds) {
        display_.line(text(now));
        last_tenth_ = tenth;
        last_drawn_ = now;
    }
}

void ProgressMeter::begin_step(const std::string& what) {
    end();
    step_ = what;
    step_share_.reset();
    started_ = clock_();
    draw_step(started_);
}

void ProgressMeter::step_share(double share) {
    if (step_.empty()) return;
    step_share_ = std::clamp(share, 0.0, 1.0);
    const double now = clock_();
    if (now - last_drawn_ >= (display_.live() ? kStepRedrawSeconds : kLogSeconds)) draw_step(now);
}

void ProgressMeter::draw_step(double now) {
    std::optional<double> left;
    if (step_share_ && *step_share_ > 0 && *step_share_ < 1) left = (now - started_) / *step_share_ * (1 - *step_share_);
    const std::string text = step_text(step_, step_share_, left);
    if (display_.live()) {
        display_.show(fit_columns(text, display_.width()));
        shown_ = true;
    } else {
        display_.line(text);
    }
    last_drawn_ = now;
}

void ProgressMeter::end() {
    if (shown_) display_.clear();
    shown_ = false;
    running_ = false;
    step_.clear();
}

std::string ProgressMeter::text(double now) const {
    std::optional<double> left;
    if (done_ > 0) left = (now - started_) / static_cast<double>(done_) * static_cast<double>(total_ - done_);
    return progress_text(done_, total_, item_, left);
}

std::string progress_text(std::size_t done, std::size_t total, const std::string& item,
                          std::optional<double> seconds_left) {
    std::string text = std::to_string(done) + " of " + std::to_string(total) + " done";
    if (!item.empty()) text += ", now " + item;
    if (seconds_left) text += ", about " + duration_text(*seconds_left) + " left";
    return text;
}

std::string step_text(const std::string& what, std::optional<double> share, std::optional<double> seconds_left) {
    std::string text = what;
    // Whole percents, never ahead of the work; 0.29 is 29, not 28.99999….
    if (share) text += ", " + std::to_string(static_cast<int>(std::floor(*share * 100 + 1e-9))) + "% done";
    if (seconds_left) text += ", about " + duration_text(*seconds_left) + " left";
    return text;
}

std::string duration_text(double seconds) {
    const long whole = seconds <= 1 ? 1 : static_cast<long>(std::ceil(seconds));
    if (whole < 60) return std::to_string(whole) + " s";
    if (whole < 3600) {
        std::string text = std::to_string(whole / 60) + " min";
        return whole % 60 == 0 ? text : text + " " + std::to_string(whole % 60) + " s";
    }
    const long minutes = (whole + 59) / 60;
    return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

std::string fit_columns(const std::string& text, std::size_t columns) {
    if (columns == 0) return "";
    std::size_t count = 0;
    std::size_t cut = std::string::npos;  // where the last character that fits beside "…" ends
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (continuation_byte(text[i])) continue;
        if (count == columns - 1) cut = i;
        if (++count > columns) return text.substr(0, cut) + "\xE2\x80\xA6";
    }
    return text;
}

}  // namespace velkit::frame
