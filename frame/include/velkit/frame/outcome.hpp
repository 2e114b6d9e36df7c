// Capturing what the driven libraries say, and ending a run with the one
// exit-status rule (run_tally.hpp) and its closing summary.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>
#include <vector>

#include "velkit/frame/run_tally.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::frame {

// While alive, Python warnings and the records of the named library loggers
// (e.g. {"pypdf"}, {"fpdf", "PIL"}) go to the tool's logger at warning
// level, as "<item>: <message>" while an ItemScope is open, else as the
// message alone; the same line is logged once per run. Nothing reaches
// standard error in the library's own format; with VELKIT_DEBUG=1 the raw
// record is logged at debug level too.
// Filters that turn warnings into errors stay in force. One per command
// run; not copyable.
class LibraryMessages {
public:
    LibraryMessages(const helperlib::Logger& log, const std::vector<std::string>& library_loggers);
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

private:
    py::object warnings_context_;
    py::object handler_;
    std::vector<std::pair<py::object, bool>> loggers_;  // logger, its former propagate
    py::object former_default_action_;
};

// The item (its display name) that library messages concern while alive.
// Scopes nest: the inner one wins until it ends.
class ItemScope {
public:
    explicit ItemScope(std::string item);
    ~ItemScope();
    ItemScope(const ItemScope&) = delete;
    ItemScope& operator=(const ItemScope&) = delete;

private:
    std::string previous_;
};

// Names in one info line the entries a run leaves alone because they are
// no regular files: "Left alone, not regular files: a.pdf (a folder),
// b.pdf (a FIFO)". Nothing when there are none. Names are file-system bytes.
void log_passed_over(const helperlib::Logger& log, const std::vector<std::pair<std::string, std::string>>& entries);

// Logs the closing summary (summary_text) through `log`: info when nothing
// failed, warning otherwise.
void log_summary(const helperlib::Logger& log, const RunTally& tally, const std::string& done_text,
                 const std::string& skip_reason = "");

// Ends the command with status 1 when the run could not do its job;
// otherwise returns (status 0).
void finish(const RunTally& tally);

}  // namespace velkit::frame
