#include "result_tables.hpp"

#include <charconv>
#include <cmath>
#include <vector>

#include "cell_values.hpp"
#include "dates.hpp"
#include "line_rules.hpp"
#include "line_values.hpp"
#include "state.hpp"
#include "text_kit.hpp"
#include "texts.hpp"
#include "velkit/frame/run_tally.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::order_match {

namespace {

// The text a whole number stands for ("20240115"), or nothing.
std::optional<std::string> whole_number_text(py::handle value) {
    if (PyBool_Check(value.ptr())) return std::nullopt;
    if (PyLong_Check(value.ptr())) return std::string(py::str(value));
    if (PyFloat_Check(value.ptr())) {
        double number = PyFloat_AS_DOUBLE(value.ptr());
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15) {
            return velutil::number_text(number);
        }
    }
    return std::nullopt;
}

// A serial date in a number or in a text of digits.
std::optional<Date> serial_of(const std::string& text) {
    double value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    if (text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return serial_date(value);
}

// year * 12 + month - 1 of a "%Y-%m-%d" text.
std::optional<int> month_of(py::handle value) {
    if (!PyUnicode_Check(value.ptr())) return std::nullopt;
    std::string text = py::str(value);
    int year = 0;
    int month = 0;
    if (text.size() < 7 || text[4] != '-') return std::nullopt;
    if (std::from_chars(text.data(), text.data() + 4, year).ec != std::errc()) return std::nullopt;
    if (std::from_chars(text.data() + 5, text.data() + 7, month).ec != std::errc()) return std::nullopt;
    return year * 12 + month - 1;
}

}  // namespace

py::object normalise_dates(py::handle column, const Side& side, const std::string& letters,
                           std::optional<DayOrder> set_order) {
    py::module_& pandas = state().pandas;
    py::object series = py::reinterpret_borrow<py::object>(column);
    if (py::bool_(pandas.attr("api").attr("types").attr("is_datetime64_any_dtype")(series))) {
        return series.attr("dt").attr("strftime")("%Y-%m-%d");
    }
    py::list values = series.attr("tolist")();
    std::vector<long long> rows = series.attr("index").attr("tolist")().cast<std::vector<long long>>();
    size_t size = values.size();
    py::object nat = pandas.attr("NaT");
    py::object na = pandas.attr("NA");
    py::object date_type = py::module_::import("datetime").attr("date");

    // Texts (and whole numbers such as 20240115) are read in the column's
    // day order; date cells give their day directly.
    std::vector<std::optional<std::string>> texts(size);
    std::vector<std::string> present_texts;
    for (size_t i = 0; i < size; ++i) {
        py::handle value = values[i];
        texts[i] = PyUnicode_Check(value.ptr()) ? std::optional<std::string>(frame::shown(value)) : whole_number_text(value);
        if (texts[i]) present_texts.push_back(*texts[i]);
    }
    ColumnDayOrder order = set_order ? ColumnDayOrder{*set_order, ""} : read_day_order(present_texts);
    if (!order.ambiguous_example.empty()) {
        state().log.warning(side.named() + ": the delivery dates in column " + letters +
                            " could be day first or month first (such as '" + order.ambiguous_example +
                            "'); they are read month first.");
    }
    py::list normalised(size);
    std::vector<std::string> unreadable;
    for (size_t i = 0; i < size; ++i) {
        py::handle value = values[i];
        normalised[i] = py::none();
        if (texts[i]) {
            std::string_view text = *texts[i];
            if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) continue;
            std::optional<Date> date = serial_of(*texts[i]);
            if (!date) date = parse_date_text(text, order.order);
            if (date) {
                normalised[i] = py::str(iso_date(*date));
            } else {
                unreadable.push_back("row " + std::to_string(rows[i]) + " '" + *texts[i] + "'");
            }
        } else if (value.is(nat) || value.is(na) || value.is_none()) {
            continue;
        } else if (py::isinstance(value, date_type)) {
            Date date{value.attr("year").cast<int>(), value.attr("month").cast<int>(), value.attr("day").cast<int>()};
            normalised[i] = py::str(iso_date(date));
        } else if (!(PyFloat_Check(value.ptr()) && std::isnan(PyFloat_AS_DOUBLE(value.ptr())))) {
            unreadable.push_back("row " + std::to_string(rows[i]) + " '" + frame::shown(value) + "'");
        }
    }
    if (!unreadable.empty()) {
        size_t count = unreadable.size();
        state().log.warning(side.named() + ": " + std::to_string(count) +
                            (count == 1 ? " delivery date is not a date and is left empty: "
                                        : " delivery dates are not dates and are left empty: ") +
                            frame::name_list(unreadable) + ".");
    }
    return pandas.attr("Series")(normalised, py::arg("index") = series.attr("index"), py::arg("dtype") = "str");
}

py::object summary_table(py::handle pairs) {
    std::vector<long long> system_rows = pairs["_ROW_SYS"].attr("tolist")().cast<std::vector<long long>>();
    std::vector<long long> customer_rows = pairs["_ROW_CUST"].attr("tolist")().cast<std::vector<long long>>();
    py::list quantities = pairs["QTY"].attr("tolist")();
    py::list system_dates = pairs["SYSTEM_RDD"].attr("tolist")();
    py::list customer_dates = pairs["CUSTOMER_RDD"].attr("tolist")();
    std::vector<MatchedPair> matched;
    matched.reserve(system_rows.size());
    for (size_t i = 0; i < system_rows.size(); ++i) {
        std::string text;
        std::optional<double> quantity;
        auto shown = quantity_shown(quantities[i]);
        if (shown) {
            velutil::Number number = velutil::read_number(*shown);
            if (number.kind != velutil::NumberKind::kText) quantity = number.decimal;
        }
        matched.push_back({system_rows[i], customer_rows[i], quantity, month_of(system_dates[i]),
                           month_of(customer_dates[i])});
    }
    MonthTotals totals = month_totals(matched);
    std::map<int, std::pair<double, double>> months;
    for (const auto& [month, sum] : totals.system) months[month].first = sum;
    for (const auto& [month, sum] : totals.customer) months[month].second = sum;
    if (months.empty()) return py::none();

    bool whole = true;
    for (const auto& [month, sums] : months) {
        whole = whole && sums.first == std::floor(sums.first) && sums.second == std::floor(sums.second) &&
                std::fabs(sums.first) < 9e15 && std::fabs(sums.second) < 9e15;
    }
    py::dict columns;
    py::list labels;
    for (const auto& [month, sums] : months) {
        std::string label = month_label(month / 12, month % 12 + 1);
        labels.append(label);
        py::list cells;
        if (whole) {
            cells.append(py::int_(static_cast<long long>(sums.first)));
            cells.append(py::int_(static_cast<long long>(sums.second)));
        } else {
            cells.append(sums.first);
            cells.append(sums.second);
        }
        columns[py::str(label)] = cells;
    }
    py::list index;
    index.append("SYS_RDD");
    index.append("CUS_RDD");
    return state().pandas.attr("DataFrame")(columns, py::arg("index") = index, py::arg("columns") = labels);
}

py::object with_date_cells(py::handle table, const std::vector<std::string>& columns) {
    py::object copy = table.attr("copy")();
    for (const auto& name : columns) {
        if (!py::bool_(copy.attr("columns").attr("__contains__")(name))) continue;
        py::object dates = state().pandas.attr("to_datetime")(copy[py::str(name)], py::arg("format") = "%Y-%m-%d",
                                                               py::arg("errors") = "coerce");
        copy.attr("__setitem__")(name, dates);
    }
    return copy;
}

}  // namespace velkit::order_match
