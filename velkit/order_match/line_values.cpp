#include "line_values.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "cell_values.hpp"
#include "line_rules.hpp"
#include "state.hpp"
#include "text_kit.hpp"
#include "velkit/frame/run_tally.hpp"
#include "velkit/frame/text.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::order_match {

namespace {

bool is_missing(py::handle value) {
    PyObject* object = value.ptr();
    if (object == Py_None) return true;
    if (PyFloat_Check(object)) return std::isnan(PyFloat_AS_DOUBLE(object));
    if (PyUnicode_Check(object)) return velutil::is_blank_text(frame::shown(value));
    if (PyLong_Check(object) || PyBool_Check(object)) return false;
    return py::bool_(state().pandas.attr("isna")(value));
}

// The state of one value, its text and (for numbers) its value.
ValueState classify(py::handle value, std::string& text, std::optional<double>& number) {
    PyObject* object = value.ptr();
    if (is_missing(value)) return ValueState::kMissing;
    if (PyBool_Check(object)) {
        text = object == Py_True ? "True" : "False";
        return ValueState::kText;
    }
    if (PyLong_Check(object) || PyFloat_Check(object)) {
        double result = PyFloat_Check(object) ? PyFloat_AS_DOUBLE(object) : PyLong_AsDouble(object);
        if (result == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        number = result;
        text = velutil::number_text(result);
        return ValueState::kNumber;
    }
    text = frame::shown(value);
    if (!PyUnicode_Check(object)) return ValueState::kText;
    if (velutil::is_spreadsheet_error(text)) {
        text = std::string(velutil::trim_blanks(text));
        return ValueState::kError;
    }
    velutil::Number parsed = velutil::read_number(text);
    if (parsed.kind == velutil::NumberKind::kText) return ValueState::kText;
    number = parsed.decimal;
    return ValueState::kNumber;
}

std::vector<long long> rows_of(py::handle table) {
    return table.attr("index").attr("tolist")().cast<std::vector<long long>>();
}

}  // namespace

std::vector<LineValue> line_values(py::handle table) {
    std::vector<long long> rows = rows_of(table);
    py::list pos = table["PO"].attr("tolist")();
    py::list quantities = table["QTY"].attr("tolist")();
    std::vector<LineValue> lines;
    lines.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        LineValue line{rows[i], ValueState::kMissing, ValueState::kMissing, "", "", std::nullopt};
        std::optional<double> unused;
        line.po = classify(pos[i], line.po_text, unused);
        line.quantity = classify(quantities[i], line.quantity_text, line.quantity_number);
        lines.push_back(std::move(line));
    }
    return lines;
}

void warn_about_values(const std::vector<LineValue>& lines, const Side& side) {
    std::vector<std::string> errors;
    std::vector<std::string> texts;
    for (const auto& line : lines) {
        std::string row = std::to_string(line.row);
        if (line.po == ValueState::kError) errors.push_back(side.po_letters + row + " " + line.po_text);
        if (line.quantity == ValueState::kError) errors.push_back(side.qty_letters + row + " " + line.quantity_text);
        if (line.quantity == ValueState::kText) texts.push_back("row " + row + " '" + line.quantity_text + "'");
    }
    const helperlib::Logger& log = state().log;
    if (!errors.empty()) {
        log.warning(side.named() + ": error values never match: " + frame::name_list(errors) + ".");
    }
    if (!texts.empty()) {
        log.warning(side.named() + ": quantities that are not numbers are left out of the summary: " +
                    frame::name_list(texts) + ".");
    }
}

py::object match_table(py::handle table, const std::vector<LineValue>& lines) {
    py::object keys = table.attr("copy")();
    py::list rows;
    for (const auto& line : lines) rows.append(line.row);
    bool po_errors = false;
    bool quantity_errors = false;
    for (const auto& line : lines) {
        po_errors = po_errors || line.po == ValueState::kError;
        quantity_errors = quantity_errors || line.quantity == ValueState::kError;
    }
    auto blank_errors = [&](const char* column, bool quantity) {
        py::list values = keys[column].attr("tolist")();
        for (size_t i = 0; i < lines.size(); ++i) {
            if ((quantity ? lines[i].quantity : lines[i].po) == ValueState::kError) values[i] = py::none();
        }
        keys.attr("__setitem__")(column, state().pandas.attr("Series")(values, py::arg("index") = keys.attr("index"),
                                                                         py::arg("dtype") = "object"));
    };
    if (po_errors) blank_errors("PO", false);
    if (quantity_errors) blank_errors("QTY", true);
    keys.attr("__setitem__")("_ROW", state().pandas.attr("Series")(rows, py::arg("index") = keys.attr("index"),
                                                                    py::arg("dtype") = "int64"));
    return keys;
}

std::optional<std::string> quantity_shown(py::handle value) {
    std::string text;
    std::optional<double> number;
    ValueState kind = classify(value, text, number);
    if (kind == ValueState::kMissing || kind == ValueState::kError) return std::nullopt;
    return text;
}

namespace {

std::unordered_map<long long, const LineValue*> by_row(const std::vector<LineValue>& lines) {
    std::unordered_map<long long, const LineValue*> rows;
    for (const auto& line : lines) rows.emplace(line.row, &line);
    return rows;
}

// A quantity's value; also of a text of more than 15 significant digits
// ("0.30000000000000004"), which reads as text to keep an identifier whole.
std::optional<double> quantity_value(const LineValue& line) {
    if (line.quantity == ValueState::kNumber) return line.quantity_number;
    if (line.quantity != ValueState::kText) return std::nullopt;
    std::string_view text = velutil::trim_blanks(line.quantity_text);
    if (text.empty() || text.find_first_not_of("-.0123456789") != std::string_view::npos) return std::nullopt;
    double value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

bool same_quantity(const LineValue& a, const LineValue& b, double tolerance) {
    std::optional<double> first = quantity_value(a);
    std::optional<double> second = quantity_value(b);
    if (first && second) {
        double x = *first;
        double y = *second;
        if (tolerance <= 0) return x == y;
        // 1.01 and 1.00 are within 0.01, whatever the binary fractions say.
        return std::fabs(x - y) <= tolerance + 1e-9 * std::max({1.0, std::fabs(x), std::fabs(y)});
    }
    return a.quantity == ValueState::kText && b.quantity == ValueState::kText &&
           velutil::trim_blanks(a.quantity_text) == velutil::trim_blanks(b.quantity_text);
}

py::object paired_lines(py::handle system_keys, py::handle customer_keys, const std::vector<LineValue>& system_lines,
                        const std::vector<LineValue>& customer_lines, double tolerance, bool one_to_one) {
    py::object pairs = helperlib::merge_exact_match(system_keys, customer_keys, {"PO"}, "inner", {"_SYS", "_CUST"});
    std::vector<long long> system_rows = pairs["_ROW_SYS"].attr("tolist")().cast<std::vector<long long>>();
    std::vector<long long> customer_rows = pairs["_ROW_CUST"].attr("tolist")().cast<std::vector<long long>>();
    auto system_by_row = by_row(system_lines);
    auto customer_by_row = by_row(customer_lines);
    std::unordered_set<long long> system_used;
    std::unordered_set<long long> customer_used;
    py::list keep;
    for (size_t i = 0; i < system_rows.size(); ++i) {
        bool kept = same_quantity(*system_by_row.at(system_rows[i]), *customer_by_row.at(customer_rows[i]), tolerance);
        if (kept && one_to_one) {
            kept = !system_used.count(system_rows[i]) && !customer_used.count(customer_rows[i]);
            if (kept) {
                system_used.insert(system_rows[i]);
                customer_used.insert(customer_rows[i]);
            }
        }
        keep.append(kept);
    }
    py::object kept = pairs.attr("loc")[state().pandas.attr("Series")(keep, py::arg("index") = pairs.attr("index"),
                                                                       py::arg("dtype") = "bool")];
    py::dict names;
    names["QTY_SYS"] = "QTY";
    py::list dropped;
    dropped.append("QTY_CUST");
    return kept.attr("drop")(py::arg("columns") = dropped)
        .attr("rename")(py::arg("columns") = names)
        .attr("reset_index")(py::arg("drop") = true);
}

py::object unmatched_lines(py::handle table, py::handle own_keys, const std::vector<LineValue>& lines,
                           const std::vector<long long>& matched_rows, py::handle other_keys,
                           const std::vector<LineValue>& other_lines, const Side& side) {
    py::module_& pandas = state().pandas;
    std::unordered_set<long long> matched(matched_rows.begin(), matched_rows.end());
    py::list rows;
    std::vector<const LineValue*> unmatched;
    for (const auto& line : lines) {
        if (matched.count(line.row)) continue;
        rows.append(line.row);
        unmatched.push_back(&line);
    }

    // The other side's quantities under the same PO (the match's own key rule).
    std::map<long long, std::vector<std::string>> other_quantities;
    // Lines whose PO the other side has only with a missing or error quantity.
    std::map<long long, std::string> other_unusable;
    if (!unmatched.empty()) {
        py::list po_and_row;
        po_and_row.append("PO");
        po_and_row.append("_ROW");
        py::list po_quantity_and_row;
        po_quantity_and_row.append("PO");
        po_quantity_and_row.append("_ROW");
        po_quantity_and_row.append("QTY");
        py::object same_po = helperlib::merge_exact_match(own_keys.attr("loc")[rows][po_and_row],
                                                          other_keys[po_quantity_and_row], {"PO"}, "inner", {"", "_OTHER"});
        std::vector<long long> pair_rows = same_po["_ROW"].attr("tolist")().cast<std::vector<long long>>();
        std::vector<long long> partner_rows = same_po["_ROW_OTHER"].attr("tolist")().cast<std::vector<long long>>();
        py::list pair_quantities = same_po["QTY"].attr("tolist")();
        auto other_by_row = by_row(other_lines);
        for (size_t i = 0; i < pair_rows.size(); ++i) {
            auto shown = quantity_shown(pair_quantities[i]);
            auto& list = other_quantities[pair_rows[i]];
            if (shown && list.size() < 5 && std::find(list.begin(), list.end(), *shown) == list.end()) {
                list.push_back(*shown);
            }
            auto partner = other_by_row.find(partner_rows[i]);
            if (!shown && partner != other_by_row.end() && !other_unusable.count(pair_rows[i])) {
                const LineValue& other = *partner->second;
                other_unusable[pair_rows[i]] =
                    other.quantity == ValueState::kError ? "is an error value: " + other.quantity_text : "is missing";
            }
        }
    }

    py::list reasons;
    for (const LineValue* line : unmatched) {
        UnmatchedLine facts;
        facts.po_missing = line->po == ValueState::kMissing;
        facts.quantity_missing = line->quantity == ValueState::kMissing;
        if (line->po == ValueState::kError) facts.po_error = line->po_text;
        if (line->quantity == ValueState::kError) facts.quantity_error = line->quantity_text;
        if (line->quantity == ValueState::kText) facts.quantity_not_number = line->quantity_text;
        auto found = other_quantities.find(line->row);
        if (found != other_quantities.end()) facts.other_quantities = found->second;
        auto unusable = other_unusable.find(line->row);
        if (unusable != other_unusable.end()) facts.other_quantity_problem = unusable->second;
        reasons.append(unmatched_reason(facts, side.other));
    }
    py::object lines_table = table.attr("loc")[rows].attr("reset_index")(py::arg("drop") = true);
    lines_table.attr("insert")(0, "ROW", pandas.attr("Series")(rows, py::arg("dtype") = "int64"));
    lines_table.attr("__setitem__")("REASON", pandas.attr("Series")(reasons, py::arg("dtype") = "object"));
    return lines_table;
}

}  // namespace velkit::order_match
