#include "velkit/frame/run_lock.hpp"

#include <sys/stat.h>

#include <cstring>

#include "file_error.hpp"
#include "safe_files.hpp"
#include "velkit/frame/command.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::frame {

MissingFolder create_when_inputs_exist(const std::vector<std::string>& inputs) {
    struct stat info {};
    for (const std::string& input : inputs) {
        if (::stat(input.c_str(), &info) != 0) return MissingFolder::kLeave;
    }
    return MissingFolder::kCreate;
}

std::optional<::velutil::FolderLock> lock_run_folder(const std::string& folder, MissingFolder missing,
                                                     const std::string& busy_message) {
    struct stat info {};
    bool present = folder.empty() || (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
    if (!present && missing == MissingFolder::kLeave) return std::nullopt;
    if (!present) ::velutil::make_dirs(folder);
    ::velutil::FolderLock lock(folder);
    if (!lock.held()) {
        throw RunBusy(busy_message.empty() ? "another run is using " + shown_bytes(folder.empty() ? "." : folder)
                                           : busy_message);
    }
    return lock;
}

std::optional<::velutil::FolderLock> lock_run_folder_or_exit(const helperlib::Logger& log, const std::string& folder,
                                                             MissingFolder missing, const std::string& busy_message) {
    try {
        return lock_run_folder(folder, missing, busy_message);
    } catch (const RunBusy& busy) {
        log.error(std::string("Error: ") + busy.what());
    } catch (const ::velutil::FileError& error) {
        log.error("Error: " + error.what_failed() + " " + shown_bytes(error.path()) + " (" +
                  std::strerror(error.error_number()) + ")");
    }
    exit_with(1);
}

}  // namespace velkit::frame
