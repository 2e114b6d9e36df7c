#include "frame_columns.hpp"

#include <pybind11/numpy.h>

#include <datetime.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <limits>
#include <string>

namespace velutil::excel_tables {

namespace {

// A typed numpy buffer, read through its stride.
template <typename T, typename ToCell>
class BufferColumn : public ColumnSource {
public:
    BufferColumn(py::array values, ToCell to_cell)
        : values_(std::move(values)),
          data_(static_cast<const char*>(values_.data())),
          stride_(values_.ndim() == 1 ? values_.strides(0) : 0),
          size_(static_cast<size_t>(values_.size())),
          to_cell_(to_cell) {}

    size_t size() const override { return size_; }

    Cell cell(size_t row, std::string& scratch) const override {
        T value;
        std::memcpy(&value, data_ + static_cast<py::ssize_t>(row) * stride_, sizeof value);
        return to_cell_(value, scratch);
    }

private:
    py::array values_;
    const char* data_;
    py::ssize_t stride_;
    size_t size_;
    ToCell to_cell_;
};

template <typename T, typename ToCell>
std::unique_ptr<ColumnSource> buffer_column(py::array values, ToCell to_cell) {
    return std::make_unique<BufferColumn<T, ToCell>>(std::move(values), to_cell);
}

template <typename T>
std::unique_ptr<ColumnSource> integer_column(py::array values) {
    return buffer_column<T>(std::move(values), [](T value, std::string& scratch) {
        if constexpr (std::is_same_v<T, uint64_t>) {
            if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                scratch = std::to_string(value);
                return integer_text_cell(scratch);
            }
        }
        return integer_cell(static_cast<int64_t>(value), scratch);
    });
}

template <typename T>
std::unique_ptr<ColumnSource> float_column(py::array values) {
    return buffer_column<T>(std::move(values), [](T value, std::string&) { return float_cell(static_cast<double>(value)); });
}

std::unique_ptr<ColumnSource> timestamp_column(py::array values, int64_t units_per_second) {
    return buffer_column<int64_t>(std::move(values), [units_per_second](int64_t ticks, std::string& scratch) {
        if (ticks == std::numeric_limits<int64_t>::min()) return blank_cell();  // NaT
        return timestamp_cell(ticks, units_per_second, scratch);
    });
}

int64_t units_per_second(const std::string& unit) {
    if (unit == "s") return 1;
    if (unit == "ms") return 1000;
    if (unit == "us") return 1000000;
    if (unit == "ns") return 1000000000;
    return 0;
}

// A numpy-backed column read from its buffer, or nullptr when the column
// is of another kind.
std::unique_ptr<ColumnSource> numeric_column(py::handle values, const ColumnTypes& types) {
    py::object dtype = values.attr("dtype");
    if (!py::isinstance(dtype, types.numpy_dtype)) return nullptr;
    const char kind = dtype.attr("kind").cast<std::string>().at(0);
    const auto size = dtype.attr("itemsize").cast<int>();
    if (kind != 'i' && kind != 'u' && kind != 'f' && kind != 'b' && kind != 'M') return nullptr;
    py::array array = values.attr("to_numpy")();
    if (array.ndim() != 1) return nullptr;
    switch (kind) {
        case 'b':
            return buffer_column<bool>(array, [](bool value, std::string&) { return bool_cell(value); });
        case 'i':
            if (size == 1) return integer_column<int8_t>(array);
            if (size == 2) return integer_column<int16_t>(array);
            if (size == 4) return integer_column<int32_t>(array);
            if (size == 8) return integer_column<int64_t>(array);
            return nullptr;
        case 'u':
            if (size == 1) return integer_column<uint8_t>(array);
            if (size == 2) return integer_column<uint16_t>(array);
            if (size == 4) return integer_column<uint32_t>(array);
            if (size == 8) return integer_column<uint64_t>(array);
            return nullptr;
        case 'f':
            if (size == 4) return float_column<float>(array);
            if (size == 8) return float_column<double>(array);
            return nullptr;
        default: {
            py::tuple unit = types.datetime_data(dtype);
            int64_t per_second = units_per_second(unit[0].cast<std::string>());
            if (per_second == 0 || unit[1].cast<int64_t>() != 1) return nullptr;
            return timestamp_column(array, per_second);
        }
    }
}

// Python values of any kind, told apart through the C API.
class ObjectColumn : public ColumnSource {
public:
    ObjectColumn(py::list values, const ColumnTypes& types) : values_(std::move(values)), types_(types) {}

    size_t size() const override { return static_cast<size_t>(PyList_GET_SIZE(values_.ptr())); }

    Cell cell(size_t row, std::string& scratch) const override {
        PyObject* value = PyList_GET_ITEM(values_.ptr(), static_cast<Py_ssize_t>(row));
        if (value == Py_None || value == types_.na.ptr() || value == types_.nat.ptr()) return blank_cell();
        if (PyBool_Check(value)) return bool_cell(value == Py_True);
        if (PyLong_Check(value)) return integer(value, scratch);
        if (PyFloat_Check(value)) return float_cell(PyFloat_AS_DOUBLE(value));
        if (PyUnicode_Check(value)) {
            Py_ssize_t size = 0;
            const char* data = PyUnicode_AsUTF8AndSize(value, &size);
            if (data == nullptr) throw py::error_already_set();
            return text_cell(std::string_view(data, static_cast<size_t>(size)));
        }
        if (PyDateTime_Check(value)) {
            return datetime_cell(PyDateTime_GET_YEAR(value), PyDateTime_GET_MONTH(value), PyDateTime_GET_DAY(value),
                                 PyDateTime_DATE_GET_HOUR(value), PyDateTime_DATE_GET_MINUTE(value),
                                 PyDateTime_DATE_GET_SECOND(value), PyDateTime_DATE_GET_MICROSECOND(value), scratch);
        }
        if (PyDate_Check(value)) {
            return date_cell(PyDateTime_GET_YEAR(value), PyDateTime_GET_MONTH(value), PyDateTime_GET_DAY(value),
                             scratch);
        }
        if (PyTime_Check(value)) {
            return time_cell(PyDateTime_TIME_GET_HOUR(value), PyDateTime_TIME_GET_MINUTE(value),
                             PyDateTime_TIME_GET_SECOND(value), PyDateTime_TIME_GET_MICROSECOND(value));
        }
        return uncommon(py::handle(value), scratch);
    }

private:
    static Cell integer(PyObject* value, std::string& scratch) {
        int overflow = 0;
        long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow == 0) return integer_cell(number, scratch);
        scratch = py::str(value).cast<std::string>();
        return integer_text_cell(scratch);
    }

    // numpy scalars, missing-value markers of other libraries, and any
    // other object, shown as its text.
    Cell uncommon(py::handle value, std::string& scratch) const {
        if (py::isinstance(value, types_.numpy_bool)) return bool_cell(PyObject_IsTrue(value.ptr()) == 1);
        if (py::isinstance(value, types_.numpy_integer)) {
            py::object number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
            if (!number) throw py::error_already_set();
            return integer(number.ptr(), scratch);
        }
        if (py::isinstance(value, types_.numpy_floating)) return float_cell(value.cast<double>());
        if (is_missing(value)) return blank_cell();
        scratch = py::str(value).cast<std::string>();
        return text_cell(scratch);
    }

    bool is_missing(py::handle value) const {
        py::object answer = types_.isna(value);
        // A list-like value gives an array of answers: not a missing value.
        if (!PyBool_Check(answer.ptr()) && !py::isinstance(answer, types_.numpy_bool)) return false;
        return PyObject_IsTrue(answer.ptr()) == 1;
    }

    py::list values_;
    const ColumnTypes& types_;
};

}  // namespace

ColumnTypes ColumnTypes::load() {
    if (PyDateTimeAPI == nullptr) {
        PyDateTime_IMPORT;
        if (PyDateTimeAPI == nullptr) throw py::error_already_set();
    }
    py::module_ numpy = py::module_::import("numpy");
    py::module_ pandas = py::module_::import("pandas");
    return {numpy.attr("dtype"),   numpy.attr("datetime_data"), pandas.attr("NA"),      pandas.attr("NaT"),
            pandas.attr("isna"),   numpy.attr("bool_"),         numpy.attr("integer"), numpy.attr("floating")};
}

std::unique_ptr<ColumnSource> column_source(py::handle values, const ColumnTypes& types) {
    if (auto numeric = numeric_column(values, types)) return numeric;
    py::object listed = values.attr("tolist")();
    if (!PyList_Check(listed.ptr())) throw py::type_error("a column's values did not come as a list");
    return std::make_unique<ObjectColumn>(py::reinterpret_borrow<py::list>(listed), types);
}

}  // namespace velutil::excel_tables
