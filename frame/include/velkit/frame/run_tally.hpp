// What a run did with its items, and whether it did its job: the one rule
// for exit statuses and the closing summary of every tool. Plain C++.
//
// Status 0: the run did its job, also when some items failed or were
// skipped while others succeeded, and when there was nothing to do.
// Status 1: the run could not do its job: `run_failed` was called (input
// missing, output not written, ...), or items were tried and every one
// failed (items skipped on purpose, e.g. for missing data, are not
// failures: a run that skipped some and failed the rest did its job for
// the skipped ones).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace velkit::frame {

class RunTally {
public:
    void done(std::size_t count = 1) { done_ += count; }
    void skipped(std::size_t count = 1) { skipped_ += count; }
    // An item that failed, by the name it is shown with.
    void failed(const std::string& item);
    // The run as a whole could not do its job.
    void run_failed() { run_failed_ = true; }

    std::size_t done_count() const { return done_; }
    std::size_t skipped_count() const { return skipped_; }
    std::size_t failed_count() const { return failed_.size(); }
    const std::vector<std::string>& failed_items() const { return failed_; }
    // True when at least one item was done, skipped or failed.
    bool any_items() const { return done_ + skipped_ + failed_.size() > 0; }

    // Every item tried failed: none done, none skipped on purpose.
    bool every_item_failed() const { return !failed_.empty() && done_ == 0 && skipped_ == 0; }
    bool job_done() const { return !run_failed_ && !every_item_failed(); }
    int exit_status() const { return job_done() ? 0 : 1; }

private:
    std::size_t done_ = 0;
    std::size_t skipped_ = 0;
    std::vector<std::string> failed_;
    bool run_failed_ = false;
};

// "a, b, c, d, e" or, past five names, "a, b, c, d, e and 3 more".
std::string name_list(const std::vector<std::string>& names, std::size_t shown = 5);

// The closing summary: the tool's own account of what was done (`done_text`,
// e.g. "Merged 84 of 94 PDF files into 224 sheets"), then
// "; skipped N (<skip_reason>)" when items were skipped and a reason is
// given, then "; N failed: <names>" when items failed.
std::string summary_text(const RunTally& tally, const std::string& done_text, const std::string& skip_reason = "");

}  // namespace velkit::frame
