// One run at a time per folder. Every tool holds velutil's FolderLock on the
// folder it writes into (receipt-sort: the folder it sorts) from before its
// first change there until it ends; a second run on the same folder ends at
// once with status 1. The lock ends with the process, even a killed one, and
// tells the clean-up of leftover temporary files which ones are still a
// live run's.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "folder_lock.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::frame {

// Another run holds the folder: "another run is using FOLDER".
class RunBusy : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class MissingFolder { kCreate, kLeave };

// kCreate when every input (file-system bytes) is there, else kLeave: a run
// that will find an input missing writes nothing, not even an empty output
// folder.
MissingFolder create_when_inputs_exist(const std::vector<std::string>& inputs);

// Takes the lock on `folder` (file-system bytes). A missing folder is
// created (kCreate) or not locked at all (kLeave: nullopt; the tool says
// that its input is missing). Throws RunBusy (with `busy_message`, or
// "another run is using " and the folder as shown) when another run holds
// it, and velutil's FileError when the folder cannot be created or opened.
std::optional<::velutil::FolderLock> lock_run_folder(const std::string& folder, MissingFolder missing,
                                                     const std::string& busy_message = "");

// The same for a command: a busy folder or one that cannot be made ends the
// command with "Error: " and the reason, logged, and status 1.
std::optional<::velutil::FolderLock> lock_run_folder_or_exit(const helperlib::Logger& log, const std::string& folder,
                                                             MissingFolder missing,
                                                             const std::string& busy_message = "");

}  // namespace velkit::frame
