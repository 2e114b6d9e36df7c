// Starting an external program the way a user's shell would find it, but
// without a shell: the arguments reach it one by one, so no file name is
// ever read as shell syntax.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkit::flowpage {

// The executable that `name` denotes on a search path (the value of PATH):
// the first "dir/name" that is a regular file the user may execute. Empty
// entries mean the current folder; without PATH ("nullptr") the system's
// default path is searched.
std::optional<std::string> find_executable(const std::string& name, const char* search_path);

struct ChildOutcome {
    int status = 0;           // exit status; 128 + n for signal n; 127 when not started
    std::string description;  // empty on status 0, else what happened, naming the command
    std::string output;       // standard output and error together, when captured
    bool timed_out = false;   // ended at its time limit
    bool interrupted = false; // ended because this process was asked to stop
};

enum class ChildOutput { kShared, kCaptured };

struct ChildLimits {
    std::string working_folder;  // where the program runs; "" for this process's folder
    double seconds = 0;          // time limit; 0 for none
    // Asked when a signal reaches this process while it waits; true ends the
    // program at once (the caller then handles the signal).
    std::function<bool()> interrupted;
    // Called about every kWaitingSeconds while the program runs (to look at
    // what it has written so far); true ends it as `interrupted` does.
    std::function<bool()> waiting;
};

constexpr double kWaitingSeconds = 0.25;

// Runs `name` (looked up on PATH) with `args` and waits for it to end. Its
// standard output and error are this process's (kShared) or collected into
// `output` (kCaptured); standard input is always this process's.
//
// Nothing the program starts outlives it: a small watcher process between
// this one and the program adopts every process the program leaves behind
// (a browser started in a session of its own, too) and ends them all when
// the program ends, when the time limit passes, when this process asks it
// to, and when this process dies, even killed (PR_SET_PDEATHSIG).
ChildOutcome run_program(const std::string& name, const std::vector<std::string>& args,
                         ChildOutput output = ChildOutput::kShared, const ChildLimits& limits = {});

// The line of a program's output that says what went wrong: the first that
// starts with "Error: " (without it), else the first naming an error type
// ("TypeError: ..."), else the last line that is not empty; "" for no
// output.
std::string first_error_line(std::string_view output);

// The command line as a user could type it again: arguments with blanks or
// shell characters are single-quoted.
std::string command_line(const std::string& name, const std::vector<std::string>& args);

}  // namespace velkit::flowpage
