// velutil.excelTools, matching: an exact-match join that compares keys the
// way a clerk would (trimmed text; a whole number equals its integer text).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cell_reference.hpp"
#include "cell_values.hpp"
#include "csv_fields.hpp"
#include "file_error.hpp"
#include "pyfs.hpp"
#include "safe_files.hpp"
#include "excel_tables.hpp"
#include "py_messages.hpp"

namespace velutil::excel_tables {

using py_fs::to_fs;
using py_messages::quoted;
using py_messages::raise_value_error;
using py_messages::text_of;
using py_messages::velutil_logger;

namespace {

// The key form of one value, or nothing for a missing or blank value.
std::optional<std::string> key_of(py::handle value, const Missing& missing) {
    PyObject* object = value.ptr();
    if (object == Py_None || value.is(missing.na) || value.is(missing.nat)) return std::nullopt;
    if (PyBool_Check(object)) return std::string(object == Py_True ? "True" : "False");
    if (PyLong_Check(object)) {
        int overflow = 0;
        long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (overflow == 0) return std::to_string(number);
        return text_of(value);
    }
    if (PyFloat_Check(object)) {
        double number = PyFloat_AS_DOUBLE(object);
        if (std::isnan(number)) return std::nullopt;
        return velutil::number_text(number);
    }
    if (PyUnicode_Check(object)) {
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(object, &size);
        if (data == nullptr) throw py::error_already_set();
        std::string_view text = velutil::trim_invisible(std::string_view(data, static_cast<size_t>(size)));
        if (text.empty()) return std::nullopt;
        if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            return std::string(text);
        }
        // "Ü" typed as U followed by a combining diaeresis equals "Ü".
        return missing.nfc(py::str(text.data(), text.size())).cast<std::string>();
    }
    if (py::bool_(missing.isna(value))) return std::nullopt;
    std::string text(velutil::trim_invisible(text_of(value)));
    if (text.empty()) return std::nullopt;
    return text;
}

// One text per row holding all its key parts (each prefixed by its length,
// so that no two different part lists give the same text); nothing when a
// part is missing.
std::vector<std::optional<std::string>> row_keys(py::handle frame, const std::vector<std::string>& keys,
                                                 const Missing& missing) {
    size_t rows = py::len(frame);
    std::vector<std::optional<std::string>> result(rows, std::string());
    for (const auto& key : keys) {
        py::list values = frame[py::str(key)].attr("tolist")();
        for (size_t i = 0; i < rows; ++i) {
            if (!result[i]) continue;
            std::optional<std::string> part = key_of(values[i], missing);
            if (!part) {
                result[i].reset();
                continue;
            }
            *result[i] += std::to_string(part->size());
            *result[i] += ':';
            *result[i] += *part;
        }
    }
    return result;
}

py::object rows_of(py::object frame, const std::vector<int64_t>& positions, bool with_gaps) {
    py::array_t<int64_t> index(static_cast<py::ssize_t>(positions.size()), positions.data());
    py::object numbered = frame.attr("reset_index")(py::arg("drop") = true);
    // Position -1 stands for "no row on this side": reindex fills it with
    // missing values, take would wrap around.
    py::object rows = with_gaps ? numbered.attr("reindex")(index) : numbered.attr("take")(index);
    return rows.attr("reset_index")(py::arg("drop") = true);
}

}  // namespace

py::object merge_exact_match(py::object df_left, py::object df_right, py::object num_keys, std::string how,
                             py::object suffixes) {
    if (how != "inner" && how != "left" && how != "right" && how != "outer") {
        raise_value_error("how must be 'inner', 'left', 'right' or 'outer', not '" + how + "'.");
    }
    std::vector<std::string> keys = py::isinstance<py::str>(num_keys) ? std::vector<std::string>{num_keys.cast<std::string>()}
                                                                      : num_keys.cast<std::vector<std::string>>();
    if (keys.empty()) raise_value_error("merge_exact_match needs at least one key column.");
    auto suffix_pair = suffixes.cast<std::pair<std::string, std::string>>();
    py::list left_columns = py::list(df_left.attr("columns"));
    py::list right_columns = py::list(df_right.attr("columns"));
    for (const auto& key : keys) {
        if (!left_columns.contains(py::str(key))) raise_value_error("The key column '" + key + "' is missing from df_left.");
        if (!right_columns.contains(py::str(key))) raise_value_error("The key column '" + key + "' is missing from df_right.");
    }

    py::module_ pandas = py::module_::import("pandas");
    Missing missing{pandas.attr("NA"), pandas.attr("NaT"), py::module_::import("datetime").attr("datetime"),
                    pandas.attr("isna"),
                    py::module_::import("functools").attr("partial")(
                        py::module_::import("unicodedata").attr("normalize"), "NFC")};
    auto left_keys = row_keys(df_left, keys, missing);
    auto right_keys = row_keys(df_right, keys, missing);

    std::vector<int64_t> left_rows;
    std::vector<int64_t> right_rows;
    {
        py::gil_scoped_release unlocked;
        bool right_first = how == "right";
        const auto& outer = right_first ? right_keys : left_keys;
        const auto& inner = right_first ? left_keys : right_keys;
        std::unordered_map<std::string_view, std::vector<int64_t>> lookup;
        lookup.reserve(inner.size());
        for (size_t i = 0; i < inner.size(); ++i) {
            if (inner[i]) lookup[*inner[i]].push_back(static_cast<int64_t>(i));
        }
        std::vector<char> inner_used(inner.size(), 0);
        auto& outer_rows = right_first ? right_rows : left_rows;
        auto& inner_rows = right_first ? left_rows : right_rows;
        bool keep_outer = how != "inner";
        for (size_t i = 0; i < outer.size(); ++i) {
            auto found = outer[i] ? lookup.find(*outer[i]) : lookup.end();
            if (found == lookup.end()) {
                if (keep_outer) {
                    outer_rows.push_back(static_cast<int64_t>(i));
                    inner_rows.push_back(-1);
                }
                continue;
            }
            for (int64_t j : found->second) {
                outer_rows.push_back(static_cast<int64_t>(i));
                inner_rows.push_back(j);
                inner_used[static_cast<size_t>(j)] = 1;
            }
        }
        if (how == "outer") {
            for (size_t j = 0; j < inner.size(); ++j) {
                if (inner_used[j]) continue;
                outer_rows.push_back(-1);
                inner_rows.push_back(static_cast<int64_t>(j));
            }
        }
    }

    bool left_gaps = false;
    bool right_gaps = false;
    for (int64_t row : left_rows) left_gaps = left_gaps || row < 0;
    for (int64_t row : right_rows) right_gaps = right_gaps || row < 0;
    py::object left_part = rows_of(df_left, left_rows, left_gaps);
    py::object right_part = rows_of(df_right, right_rows, right_gaps);

    auto is_key = [&](const std::string& name) { return std::find(keys.begin(), keys.end(), name) != keys.end(); };
    py::dict result;
    py::list order;
    auto add = [&](py::object name, py::object column) {
        if (result.contains(name)) {
            raise_value_error("The joined table would have two columns named " + text_of(py::repr(name)) + ".");
        }
        result[name] = column;
        order.append(name);
    };
    py::array_t<bool> from_left(static_cast<py::ssize_t>(left_rows.size()));
    {
        auto out = from_left.mutable_unchecked<1>();
        for (size_t i = 0; i < left_rows.size(); ++i) out(static_cast<py::ssize_t>(i)) = left_rows[i] >= 0;
    }
    for (py::handle column : left_columns) {
        py::object name = py::reinterpret_borrow<py::object>(column);
        std::string text = py::isinstance<py::str>(column) ? column.cast<std::string>() : std::string();
        if (py::isinstance<py::str>(column) && is_key(text)) {
            py::object values = left_part[name];
            // Rows that only the right side has take their key from there.
            if (left_gaps) values = values.attr("where")(from_left, right_part[name]);
            add(name, values);
        } else if (right_columns.contains(column)) {
            add(py::str(text_of(column) + suffix_pair.first), left_part[name]);
        } else {
            add(name, left_part[name]);
        }
    }
    for (py::handle column : right_columns) {
        py::object name = py::reinterpret_borrow<py::object>(column);
        if (py::isinstance<py::str>(column) && is_key(column.cast<std::string>())) continue;
        if (left_columns.contains(column)) {
            add(py::str(text_of(column) + suffix_pair.second), right_part[name]);
        } else {
            add(name, right_part[name]);
        }
    }
    py::object frame = pandas.attr("DataFrame")(result, py::arg("columns") = order);
    if (left_rows.empty()) frame = frame.attr("reset_index")(py::arg("drop") = true);
    return frame;
}

}  // namespace velutil::excel_tables
