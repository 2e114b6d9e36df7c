// The command frame shared by every tool: one click command with the same
// two options, and the steps its callback is made of (tool_module.hpp puts
// them in order for every tool).
#pragma once
#include "velkit/frame/pybind.hpp"

#include <functional>
#include <string>
#include <vector>

#include "velkit/frame/tool_descriptor.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::frame {

// Receives the --config path (None when absent) and the --generate-config flag.
using Callback = std::function<void(py::object config, bool generate_config)>;

// The tool's click.Command with the options --config/-c (an existing
// path), --generate-config (a flag), --quiet/-q, --verbose/-v and
// --version, calling `callback` with the run's verbosity and progress in
// place.
py::object make_command(const ToolDescriptor& tool, const std::string& help, Callback callback);

// Ends the command with this exit status (SystemExit, passed on by click).
[[noreturn]] void exit_with(int status);

// One line to standard output through click.
void echo(const std::string& line);

// The one form of a missing-package message, the pip argument quoted for
// every shell: "Missing required packages for PDF generation (fpdf2,
// Pillow). Install them with: pip install 'velkit[pdf]'".
std::string missing_packages_text(const std::string& what, const std::string& packages, const std::string& extra);

// Load step for tools that read the file themselves: the parsed object. A
// file that cannot be used ends the command with "Error: " and the reason
// (naming the file) and status 1.
py::object read_config_file(py::handle config);

// True when VELKIT_DEBUG is "1" or the run is --verbose: debug lines and
// raw details are wanted.
bool debug_requested();

// True for a path option that was given and is not empty.
bool given(py::handle config);

// Runs a click command or group as the program itself, with the process's
// arguments (`prog_name` names it in usage lines; empty: from argv[0]). An
// error that no step caught ends it with one line "Error: ..." on standard
// error and status 1; with VELKIT_DEBUG=1 the traceback comes first.
// SIGTERM and SIGINT end the run through the stack, with status 143 and 130.
void run_as_program(py::handle command, const std::string& prog_name = "");

}  // namespace velkit::frame
