// What a command run shows on standard error besides its records: how
// much (--quiet, --verbose) and the progress of its item loops.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <memory>
#include <string>

#include "velkit/frame/progress.hpp"

namespace velkit::frame {

enum class Verbosity { quiet, normal, verbose };

// For one command run: sets how much the loggers show and installs the
// run's progress sink (none when quiet); on the way out, also by an error,
// the progress line is removed and the settings go back to normal.
class RunConsole {
public:
    RunConsole(Verbosity verbosity, const std::string& logger_name);
    ~RunConsole();
    RunConsole(const RunConsole&) = delete;
    RunConsole& operator=(const RunConsole&) = delete;

private:
    std::unique_ptr<ProgressDisplay> display_;
    std::unique_ptr<ProgressMeter> meter_;
    std::unique_ptr<ProgressScope> scope_;
};

// The verbosity of the run now (normal outside runs).
Verbosity current_verbosity();

}  // namespace velkit::frame
