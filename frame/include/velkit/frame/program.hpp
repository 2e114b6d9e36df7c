// Running a click command or group as the program itself.
#pragma once
#include "velkit/frame/pybind.hpp"

namespace velkit::frame {

// Runs `command` with the process's arguments. An error that no step caught
// ends the program with one line "Error: ..." on standard error and status
// 1 (with the traceback first when VELKIT_DEBUG is "1"); exit statuses and
// interrupts pass on.
void run_program(py::object command);

}  // namespace velkit::frame
