// Checked access to configuration values: every tool reads its settings
// through these, once, in its command, into a plain options struct. An
// unusable value raises ConfigError naming the key; the command ends with
// `refuse_configuration`.
//
// How a tool declares its keys: by reading them. Every key asked for through
// a ConfigSection (has, raw, any typed reader, section) is known from then
// on; there is no separate list to keep. After reading its options the
// command calls `warn_unknown_keys`, which warns once about every key of
// every section read in this run that nothing asked for, with the closest
// known key ("unknown key 'col_per_row' in 'groups[0]'; did you mean
// 'cols_per_row'?"). A key read only under some condition must still be
// asked for (`has`) every time, and a section whose keys are names chosen by
// the user (a map from file names to titles) is read with `entries`.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <limits>
#include <stdexcept>
#include <string>

#include "velkit/frame/velutil_access.hpp"

namespace velkit::frame {

// What is wrong with one value, e.g. "'config.layout.cols' must be a whole
// number of at most 1000 (got 100000000000000000000)".
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One JSON object of the configuration, known by its dotted key ("config",
// "config.layout", "groups[2]"). Absent keys take the fallback given; keys
// present with an unusable value raise ConfigError.
class ConfigSection {
public:
    // Raises ConfigError when `value` is not an object ("'config' must be
    // an object").
    ConfigSection(py::handle value, std::string where);

    // Both make `key` known (see the header comment).
    bool has(const char* key) const;
    py::object raw(const char* key) const;  // None when absent
    // The object as it is, for handing to a worker; asks for no key.
    const py::dict& object() const { return dict_; }
    // The object as a map whose keys the user names (file names, ...): every
    // key in it is known.
    const py::dict& entries() const;
    const std::string& where() const { return where_; }
    std::string key_name(const char* key) const;  // "'config.layout.cols'"

    long long whole(const char* key, long long fallback, long long min, long long max) const;
    double number(const char* key, double fallback, double min = -std::numeric_limits<double>::infinity(),
                  double max = std::numeric_limits<double>::infinity()) const;
    // Text of any length (also empty).
    std::string text(const char* key, const std::string& fallback) const;
    // A file or folder path: non-empty text. Returned as the str given, so
    // that it reaches the file system unchanged (see text.hpp).
    py::object path(const char* key, const std::string& fallback) const;
    // A spreadsheet cell reference such as "D6"; `example` is shown in the
    // message when the value is not one.
    std::string cell(const char* key, const std::string& fallback, const std::string& example) const;
    // A switch: true or false. With `text_allowed`, also the texts "true"
    // and "false" in any letter case. Anything else (1, "yes", null, ...) is
    // refused: a switch that guesses may do for real what was meant as a
    // trial.
    bool flag(const char* key, bool fallback, bool text_allowed = false) const;
    // A nested object; an absent key gives an empty one.
    ConfigSection section(const char* key) const;

    [[noreturn]] void fail(const char* key, const std::string& must_be) const;

private:
    py::dict dict_;
    std::string where_;
};

// Warns through `log` about every key of the sections read since the
// configuration was loaded that no reader asked for, and forgets them.
void warn_unknown_keys(const helperlib::Logger& log);

// Starts a new configuration: sections read before are forgotten. The load
// steps call it; a tool that builds sections from a file it parsed itself
// calls it before.
void begin_configuration();

// A value as a message shows it: its repr, cut at 60 characters.
std::string value_shown(py::handle value);

// Load step through velutil for the tools that keep their settings under
// "config": the checked section. A file the loader refuses (it has said
// why) ends the command with status 1; a "config" that is not an object
// (null, an array, ...) is refused with refuse_configuration.
ConfigSection load_config(const helperlib::Logger& log, py::handle config_file);

// Ends the command: logs "Error: Invalid configuration in FILE: PROBLEM."
// and exits with status 1.
[[noreturn]] void refuse_configuration(const helperlib::Logger& log, py::handle config_file,
                                       const std::string& problem);

// A tool's options as `read` makes them from the configuration; a value it
// cannot use ends the command (refuse_configuration), and once all are
// read the keys nothing asked for are warned about.
template <typename Read>
auto checked_options(const helperlib::Logger& log, py::handle config_file, Read&& read) -> decltype(read()) {
    try {
        auto options = read();
        warn_unknown_keys(log);
        return options;
    } catch (const ConfigError& error) {
        refuse_configuration(log, config_file, error.what());
    }
}

}  // namespace velkit::frame
