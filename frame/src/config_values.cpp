#include "velkit/frame/config_values.hpp"

#include <cmath>

#include "cell_reference.hpp"
#include "text_kit.hpp"

#include "velkit/frame/command.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::frame {

namespace {

bool is_bool(py::handle value) { return py::isinstance<py::bool_>(value); }

bool is_real(py::handle value) {
    return (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)) && !is_bool(value);
}

std::string bound_text(double value) {
    if (std::isinf(value)) return value > 0 ? "infinity" : "-infinity";
    return velutil::number_text(value);
}

}  // namespace

std::string value_shown(py::handle value) {
    std::string text;
    try {
        text = shown(py::repr(value));
    } catch (py::error_already_set&) {
        text = "<" + std::string(Py_TYPE(value.ptr())->tp_name) + ">";
    }
    if (text.size() > 60) text = text.substr(0, 57) + "...";
    return text;
}

ConfigSection::ConfigSection(py::handle value, std::string where) : where_(std::move(where)) {
    if (!py::isinstance<py::dict>(value)) {
        throw ConfigError("'" + where_ + "' must be an object");
    }
    dict_ = py::reinterpret_borrow<py::dict>(value);
}

bool ConfigSection::has(const char* key) const { return dict_.contains(key); }

py::object ConfigSection::raw(const char* key) const {
    return has(key) ? py::reinterpret_borrow<py::object>(dict_[key]) : py::none();
}

std::string ConfigSection::key_name(const char* key) const { return "'" + where_ + "." + key + "'"; }

void ConfigSection::fail(const char* key, const std::string& must_be) const {
    throw ConfigError(key_name(key) + " must be " + must_be + " (got " + value_shown(raw(key)) + ")");
}

long long ConfigSection::whole(const char* key, long long fallback, long long min, long long max) const {
    if (!has(key)) return fallback;
    py::object value = raw(key);
    std::string at_least = "a whole number of at least " + std::to_string(min);
    if (!py::isinstance<py::int_>(value) || is_bool(value) || value < py::int_(min)) fail(key, at_least);
    // Compared as Python integers, so that any size is refused, not wrapped.
    if (value > py::int_(max)) fail(key, "a whole number of at most " + std::to_string(max));
    return value.cast<long long>();
}

double ConfigSection::number(const char* key, double fallback, double min, double max) const {
    if (!has(key)) return fallback;
    py::object value = raw(key);
    std::string must_be = "a number";
    if (!std::isinf(min) && !std::isinf(max)) {
        must_be += " from " + bound_text(min) + " to " + bound_text(max);
    } else if (!std::isinf(min)) {
        must_be += " of at least " + bound_text(min);
    } else if (!std::isinf(max)) {
        must_be += " of at most " + bound_text(max);
    }
    if (!is_real(value)) fail(key, must_be);
    double number = 0;
    try {
        number = value.cast<double>();
    } catch (py::cast_error&) {
        fail(key, must_be);
    } catch (py::error_already_set&) {  // an integer beyond any double
        fail(key, must_be);
    }
    if (!std::isfinite(number) || number < min || number > max) fail(key, must_be);
    return number;
}

std::string ConfigSection::text(const char* key, const std::string& fallback) const {
    if (!has(key)) return fallback;
    py::object value = raw(key);
    if (!py::isinstance<py::str>(value)) fail(key, "a string");
    return shown(value);
}

py::object ConfigSection::path(const char* key, const std::string& fallback) const {
    if (!has(key)) return py::str(fallback);
    py::object value = raw(key);
    if (!py::isinstance<py::str>(value) || py::len(value) == 0) fail(key, "a non-empty text");
    if (value.attr("find")(py::str("\0", 1)).cast<long>() >= 0) fail(key, "a path without NUL characters");
    return value;
}

std::string ConfigSection::cell(const char* key, const std::string& fallback, const std::string& example) const {
    std::string reference = text(key, fallback);
    try {
        ::velutil::parse_cell_reference(reference);
    } catch (const std::invalid_argument&) {
        fail(key, "a cell reference such as \"" + example + "\"");
    }
    return reference;
}

bool ConfigSection::flag(const char* key, bool fallback) const {
    if (!has(key)) return fallback;
    py::object value = raw(key);
    if (value.is_none()) return false;
    if (is_bool(value)) return value.cast<bool>();
    if (py::isinstance<py::int_>(value) && (value.equal(py::int_(0)) || value.equal(py::int_(1)))) {
        return value.cast<long>() == 1;
    }
    fail(key, "true or false");
}

ConfigSection ConfigSection::section(const char* key) const {
    if (!has(key)) return ConfigSection(py::dict(), where_ + "." + key);
    return ConfigSection(raw(key), where_ + "." + key);
}

ConfigSection load_config(const helperlib::Logger& log, py::handle config_file) {
    py::object loaded = helperlib::load_json_file(config_file, {"config"});
    if (!py::bool_(loaded)) exit_with(1);
    try {
        return ConfigSection(loaded[py::int_(0)], "config");
    } catch (const ConfigError& error) {
        refuse_configuration(log, config_file, error.what());
    }
}

void refuse_configuration(const helperlib::Logger& log, py::handle config_file, const std::string& problem) {
    log.error("Error: Invalid configuration in " + shown(config_file) + ": " + problem + ".");
    exit_with(1);
}

}  // namespace velkit::frame
