// Starting an external program the way a user's shell would find it, but
// without a shell: the arguments reach it one by one, so no file name is
// ever read as shell syntax.
#pragma once
#include <optional>
#include <string>
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
};

// Runs `name` (looked up on PATH) with `args`, sharing this process's
// standard input, output and error, and waits for it to end.
ChildOutcome run_program(const std::string& name, const std::vector<std::string>& args);

// The command line as a user could type it again: arguments with blanks or
// shell characters are single-quoted.
std::string command_line(const std::string& name, const std::vector<std::string>& args);

}  // namespace velkit::flowpage
