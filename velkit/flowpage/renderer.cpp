#include "renderer.hpp"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace velkit::flowpage {

static ChildOutcome describe_end(int wait_status, const std::string& shown);

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

namespace {

// The signals the watcher waits for; blocked in it from its first moment.
sigset_t watcher_signals() {
    sigset_t set;
    ::sigemptyset(&set);
    for (int signal_number : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) ::sigaddset(&set, signal_number);
    return set;
}

// The process ids of this process's children, from /proc. Only system
// calls: the watcher is a fork of a process that may have had threads.
int children_of_self(pid_t* ids, int capacity) {
    char path[64] = "/proc/self/task/";
    char number[24];
    int length = 0;
    for (long value = ::syscall(SYS_gettid); value > 0; value /= 10) number[length++] = static_cast<char>('0' + value % 10);
    size_t at = std::strlen(path);
    while (length > 0) path[at++] = number[--length];
    std::memcpy(path + at, "/children", 10);
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buffer[4096];
    ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    int count = 0;
    long value = -1;
    for (ssize_t i = 0; i < got && count < capacity; ++i) {
        if (buffer[i] >= '0' && buffer[i] <= '9') {
            value = (value < 0 ? 0 : value * 10) + (buffer[i] - '0');
        } else if (value >= 0) {
            ids[count++] = static_cast<pid_t>(value);
            value = -1;
        }
    }
    if (value >= 0 && count < capacity) ids[count++] = static_cast<pid_t>(value);
    return count;
}

// Ends every process below the watcher: each child and its process group
// (a browser leads a session and group of its own); orphans of theirs are
// adopted by the watcher (a subreaper) and ended in the next round.
void end_every_descendant() {
    pid_t ids[256];
    for (;;) {
        int count = children_of_self(ids, 256);
        for (int i = 0; i < count; ++i) {
            ::kill(-ids[i], SIGKILL);
            ::kill(ids[i], SIGKILL);
        }
        int status = 0;
        pid_t reaped = ::waitpid(-1, &status, 0);
        if (reaped < 0 && errno == ECHILD) return;
    }
}

struct StartPlan {
    const char* program;
    char* const* argv;
    const char* working_folder;  // nullptr: unchanged
    int output_fd;               // -1: shared
    int exec_error_fd;           // receives errno when the program cannot start
    pid_t parent;
    sigset_t parent_mask;
};

[[noreturn]] void start_program(const StartPlan& plan) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGXFSZ, SIG_DFL);
    ::sigprocmask(SIG_SETMASK, &plan.parent_mask, nullptr);
    if (plan.working_folder != nullptr && ::chdir(plan.working_folder) != 0) {
        int error = errno;
        (void)!::write(plan.exec_error_fd, &error, sizeof error);
        ::_exit(127);
    }
    if (plan.output_fd >= 0) {
        ::dup2(plan.output_fd, STDOUT_FILENO);
        ::dup2(plan.output_fd, STDERR_FILENO);
    }
    ::execve(plan.program, plan.argv, environ);
    int error = errno;
    (void)!::write(plan.exec_error_fd, &error, sizeof error);
    ::_exit(127);
}

// The watcher: starts the program, waits for it or for a reason to stop
// it, then ends whatever is left below it and exits as the program did.
[[noreturn]] void watch(const StartPlan& plan) {
    ::prctl(PR_SET_PDEATHSIG, SIGHUP);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (::getppid() != plan.parent) ::_exit(128 + SIGHUP);
    pid_t program = ::fork();
    if (program == 0) start_program(plan);
    ::close(plan.exec_error_fd);
    if (plan.output_fd >= 0) ::close(plan.output_fd);
    if (program < 0) ::_exit(127);
    ::setpgid(program, program);
    sigset_t waited = watcher_signals();
    int status = 0;
    for (;;) {
        int signal_number = ::sigwaitinfo(&waited, nullptr);
        if (signal_number == SIGCHLD) {
            if (::waitpid(program, &status, WNOHANG) == program) break;
            continue;
        }
        if (signal_number > 0) {
            ::kill(-program, SIGKILL);
            ::kill(program, SIGKILL);
            end_every_descendant();
            ::_exit(128 + signal_number);
        }
    }
    end_every_descendant();
    if (WIFEXITED(status)) ::_exit(WEXITSTATUS(status));
    // Ended by a signal: the watcher ends by the same one, so the waiting
    // process sees what happened to the program.
    int signal_number = WTERMSIG(status);
    ::signal(signal_number, SIG_DFL);
    sigset_t all;
    ::sigfillset(&all);
    ::sigprocmask(SIG_UNBLOCK, &all, nullptr);
    ::kill(::getpid(), signal_number);
    ::_exit(128 + signal_number);
}

double seconds_since(const struct timespec& start) {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace

ChildOutcome run_program(const std::string& name, const std::vector<std::string>& args, ChildOutput output,
                         const ChildLimits& limits) {
    std::string shown = "'" + command_line(name, args) + "'";
    std::optional<std::string> program = find_executable(name, std::getenv("PATH"));
    if (!program) return {127, "command " + shown + " not found on PATH (status 127)", "", false, false};
    if (!program->empty() && program->front() != '/' && !limits.working_folder.empty()) {
        // Found relative to this process's folder; the program starts elsewhere.
        char here[PATH_MAX];
        if (::getcwd(here, sizeof here) != nullptr) program = std::string(here) + "/" + *program;
    }
    auto cannot_start = [&](int error) {
        return ChildOutcome{127, "command " + shown + " could not be started: " + std::strerror(error) + " (status 127)",
                            "", false, false};
    };

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int output_ends[2] = {-1, -1};
    int error_ends[2] = {-1, -1};
    if (::pipe2(error_ends, O_CLOEXEC) != 0) return cannot_start(errno);
    if (output == ChildOutput::kCaptured && ::pipe2(output_ends, O_CLOEXEC) != 0) {
        int error = errno;
        ::close(error_ends[0]);
        ::close(error_ends[1]);
        return cannot_start(error);
    }
    StartPlan plan{program->c_str(), argv.data(),
                   limits.working_folder.empty() ? nullptr : limits.working_folder.c_str(), output_ends[1],
                   error_ends[1], ::getpid(), {}};
    sigset_t waited = watcher_signals();
    ::pthread_sigmask(SIG_BLOCK, &waited, &plan.parent_mask);
    pid_t watcher = ::fork();
    if (watcher == 0) watch(plan);
    int fork_error = errno;
    ::pthread_sigmask(SIG_SETMASK, &plan.parent_mask, nullptr);
    ::close(error_ends[1]);
    if (output_ends[1] >= 0) ::close(output_ends[1]);
    if (watcher < 0) {
        ::close(error_ends[0]);
        if (output_ends[0] >= 0) ::close(output_ends[0]);
        return cannot_start(fork_error);
    }

    int exec_error = 0;
    ssize_t got = 0;
    while ((got = ::read(error_ends[0], &exec_error, sizeof exec_error)) < 0 && errno == EINTR) {
    }
    ::close(error_ends[0]);

    struct timespec start {};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    std::string said;
    bool timed_out = false;
    bool interrupted = false;
    bool stopping = false;
    bool output_open = output_ends[0] >= 0;
    int wait_status = 0;
    bool ended = false;
    double looked = 0;  // when `waiting` was last called, in seconds since the start
    while (!ended || output_open) {
        if (!ended) {
            pid_t done = ::waitpid(watcher, &wait_status, WNOHANG);
            if (done == watcher) ended = true;
        }
        if (!stopping && !ended && limits.seconds > 0 && seconds_since(start) >= limits.seconds) {
            timed_out = stopping = true;
            ::kill(watcher, SIGTERM);
        }
        if (!stopping && !ended && limits.waiting && seconds_since(start) - looked >= kWaitingSeconds) {
            looked = seconds_since(start);
            if (limits.waiting()) {
                interrupted = stopping = true;
                ::kill(watcher, SIGTERM);
            }
        }
        int wait_ms = ended ? 1000 : 100;
        if (output_open) {
            struct pollfd ready {output_ends[0], POLLIN, 0};
            int polled = ::poll(&ready, 1, wait_ms);
            if (polled > 0) {
                char buffer[8192];
                ssize_t count = ::read(output_ends[0], buffer, sizeof buffer);
                if (count > 0) {
                    said.append(buffer, static_cast<size_t>(count));
                } else if (count == 0 || errno != EINTR) {
                    output_open = false;
                }
                continue;
            }
            if (polled == 0 && ended) output_open = false;  // a writer outside the watcher's reach
            if (polled < 0 && errno != EINTR) output_open = false;
            if (polled < 0 && errno == EINTR && !stopping && limits.interrupted && limits.interrupted()) {
                interrupted = stopping = true;
                ::kill(watcher, SIGTERM);
            }
        } else if (!ended) {
            if (::poll(nullptr, 0, wait_ms) < 0 && errno == EINTR && !stopping && limits.interrupted &&
                limits.interrupted()) {
                interrupted = stopping = true;
                ::kill(watcher, SIGTERM);
            }
        }
    }
    if (output_ends[0] >= 0) ::close(output_ends[0]);
    if (got == static_cast<ssize_t>(sizeof exec_error)) return cannot_start(exec_error);
    ChildOutcome outcome;
    if (timed_out) {
        outcome = {124, "command " + shown + " timed out after " + seconds_text(limits.seconds) + " s", "", true, false};
    } else if (interrupted) {
        outcome = {130, "command " + shown + " was stopped", "", false, true};
    } else {
        outcome = describe_end(wait_status, shown);
    }
    outcome.output = std::move(said);
    return outcome;
}

static ChildOutcome describe_end(int wait_status, const std::string& shown) {
    if (WIFEXITED(wait_status)) {
        int status = WEXITSTATUS(wait_status);
        if (status == 0) return {};
        return {status, "command " + shown + " exited with status " + std::to_string(status), "", false, false};
    }
    int signal_number = WTERMSIG(wait_status);
    return {128 + signal_number, "command " + shown + " was ended by signal " + std::to_string(signal_number) + " (" +
                                     ::strsignal(signal_number) + ")",
            "", false, false};
}

}  // namespace velkit::flowpage
