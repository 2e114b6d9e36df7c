#include "line_values.hpp"

#include <algorithm>
#include <cmath>
#include <map>
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

py::object unmatched_lines(py::handle table, py::handle own_keys, const std::vector<LineValue>& lines,
                           const std::vector<long long>& matched_rows, py::handle other_keys, const Side& side) {
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
    if (!unmatched.empty()) {
        py::list po_and_row;
        po_and_row.append("PO");
        po_and_row.append("_ROW");
        py::list po_and_quantity;
        po_and_quantity.append("PO");
        po_and_quantity.append("QTY");
        py::object same_po = helperlib::merge_exact_match(own_keys.attr("loc")[rows][po_and_row],
                                                          other_keys[po_and_quantity], {"PO"}, "inner", {"", "_OTHER"});
        std::vector<long long> pair_rows = same_po["_ROW"].attr("tolist")().cast<std::vector<long long>>();
        py::list pair_quantities = same_po["QTY"].attr("tolist")();
        for (size_t i = 0; i < pair_rows.size(); ++i) {
            auto shown = quantity_shown(pair_quantities[i]);
            auto& list = other_quantities[pair_rows[i]];
            if (shown && list.size() < 5 && std::find(list.begin(), list.end(), *shown) == list.end()) {
                list.push_back(*shown);
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
        reasons.append(unmatched_reason(facts, side.other));
    }
    py::object lines_table = table.attr("loc")[rows].attr("reset_index")(py::arg("drop") = true);
    lines_table.attr("insert")(0, "ROW", pandas.attr("Series")(rows, py::arg("dtype") = "int64"));
    lines_table.attr("__setitem__")("REASON", pandas.attr("Series")(reasons, py::arg("dtype") = "object"));
    return lines_table;
}

}  // namespace velkit::order_match
