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

namespace velkit::flowpage {

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

ChildOutcome run_program(const std::string& name, const std::vector<std::string>& args) {
    std::string shown = "'" + command_line(name, args) + "'";
    std::optional<std::string> program = find_executable(name, std::getenv("PATH"));
    if (!program) return {127, "command " + shown + " not found on PATH (status 127)"};

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    int error = ::posix_spawn(&pid, program->c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        return {127, "command " + shown + " could not be started: " + std::strerror(error) + " (status 127)"};
    }
    int wait_status = 0;
    while (::waitpid(pid, &wait_status, 0) < 0) {
        if (errno != EINTR) return {127, "command " + shown + " could not be waited for: " + std::strerror(errno)};
    }
    if (WIFEXITED(wait_status)) {
        int status = WEXITSTATUS(wait_status);
        if (status == 0) return {0, ""};
        return {status, "command " + shown + " exited with status " + std::to_string(status)};
    }
    int signal_number = WTERMSIG(wait_status);
    return {128 + signal_number, "command " + shown + " was ended by signal " + std::to_string(signal_number) + " (" +
                                     ::strsignal(signal_number) + ")"};
}

}  // namespace velkit::flowpage
