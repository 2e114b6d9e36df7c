// The one error type of the file helpers: an operating-system error with the
// path it concerns, so that the bindings can raise it as OSError.
#pragma once
#include <stdexcept>
#include <string>

namespace velutil {

class FileError : public std::runtime_error {
public:
    FileError(int error_number, std::string what_failed, std::string path)
        : std::runtime_error(what_failed + ": " + path),
          error_number_(error_number),
          what_failed_(std::move(what_failed)),
          path_(std::move(path)) {}

    int error_number() const { return error_number_; }
    const std::string& what_failed() const { return what_failed_; }
    const std::string& path() const { return path_; }

private:
    int error_number_;
    std::string what_failed_;
    std::string path_;
};

}  // namespace velutil
