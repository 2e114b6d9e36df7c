#include "renderer.hpp"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

#include <fcntl.h>

namespace velkit::flowpage {

static ChildOutcome wait_for(pid_t pid, const std::string& shown);

std::optional<std::string> find_executable(const std::string& name, const char* search_path) {
    std::string path = search_path != nullptr ? search_path : "/bin:/usr/bin";
    size_t start = 0;
    while (true) {
        size_t end = path.find(':', start);
        std::string folder = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = folder.empty() ? name : folder + "/" + name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (end == std::string::npos) return std::nullopt;
        start = end + 1;
    }
}

std::string command_line(const std::string& name, const std::vector<std::string>& args) {
    std::string line = name;
    for (const auto& arg : args) {
        bool plain = !arg.empty();
        for (char c : arg) {
            if (!(std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_./=:,+@%", c) != nullptr)) {
                plain = false;
            }
        }
        line += ' ';
        if (plain) {
            line += arg;
            continue;
        }
        line += '\'';
        for (char c : arg) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

namespace {

// Reads everything the child writes until it closes its end.
std::string read_all(int fd) {
    std::string data;
    char buffer[8192];
    while (true) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            data.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            return data;
        }
    }
}

std::string trimmed(std::string_view line) {
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) return "";
    size_t end = line.find_last_not_of(" \t\r");
    return std::string(line.substr(start, end - start + 1));
}

std::vector<std::string> non_empty_lines(std::string_view output) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string_view::npos) end = output.size();
        std::string line = trimmed(output.substr(start, end - start));
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::string first_error_line(std::string_view output) {
    std::vector<std::string> lines = non_empty_lines(output);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("Error: ", 0) != 0) continue;
        std::string line = lines[i].substr(7);
        // "Parse error on line 2:" says where; the "Expecting ..." line a
        // little further down (after the source and a caret) says what.
        if (!line.empty() && line.back() == ':') {
            for (size_t j = i + 1; j < lines.size() && j <= i + 3; ++j) {
                if (lines[j].rfind("Expecting ", 0) == 0) return line + " " + lines[j];
            }
        }
        return line;
    }
    // "TypeError: ...", "UnknownDiagramError: ..."; not a path that merely holds the word.
    for (const auto& line : lines) {
        if (line.find("Error: ") != std::string::npos) return line;
    }
    return lines.empty() ? "" : lines.back();
}

ChildOutcome run_program(const std::string& name, const std::vector<std::string>& args, ChildOutput output) {
    std::string shown = "'" + command_line(name, args) + "'";
    std::optional<std::string> program = find_executable(name, std::getenv("PATH"));
    if (!program) return {127, "command " + shown + " not found on PATH (status 127)", ""};

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int pipe_ends[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    if (output == ChildOutput::kCaptured) {
        if (::pipe2(pipe_ends, O_CLOEXEC) != 0) {
            ::posix_spawn_file_actions_destroy(&actions);
            return {127, "command " + shown + " could not be started: " + std::strerror(errno) + " (status 127)", ""};
        }
        ::posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDERR_FILENO);
    }
    pid_t pid = 0;
    int error = ::posix_spawn(&pid, program->c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    std::string said;
    if (pipe_ends[1] >= 0) ::close(pipe_ends[1]);
    if (error == 0 && pipe_ends[0] >= 0) said = read_all(pipe_ends[0]);
    if (pipe_ends[0] >= 0) ::close(pipe_ends[0]);
    if (error != 0) {
        return {127, "command " + shown + " could not be started: " + std::strerror(error) + " (status 127)", ""};
    }
    ChildOutcome outcome = wait_for(pid, shown);
    outcome.output = std::move(said);
    return outcome;
}

static ChildOutcome wait_for(pid_t pid, const std::string& shown) {
    int wait_status = 0;
    while (::waitpid(pid, &wait_status, 0) < 0) {
        if (errno != EINTR) return {127, "command " + shown + " could not be waited for: " + std::strerror(errno), ""};
    }
    if (WIFEXITED(wait_status)) {
        int status = WEXITSTATUS(wait_status);
        if (status == 0) return {0, "", ""};
        return {status, "command " + shown + " exited with status " + std::to_string(status), ""};
    }
    int signal_number = WTERMSIG(wait_status);
    return {128 + signal_number, "command " + shown + " was ended by signal " + std::to_string(signal_number) + " (" +
                                     ::strsignal(signal_number) + ")",
            ""};
}

}  // namespace velkit::flowpage
