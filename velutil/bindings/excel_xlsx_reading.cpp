// velutil.excelTools, reading .xlsx/.xlsm workbooks by streaming the sheet
// out of the zip archive: only the cells of the mapped columns are kept.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "cell_values.hpp"
#include "excel_tables.hpp"
#include "py_messages.hpp"
#include "sheet_xml.hpp"
#include "text_kit.hpp"
#include "zip_package.hpp"

namespace velutil::excel_tables {

using py_messages::raise_value_error;

namespace {

// The worksheet part to read and its name.
struct ChosenSheet {
    std::string part;
    std::string name;
};

ChosenSheet choose_sheet(const Package& package, py::object sheet_name) {
    auto workbook_name = package.member("xl/workbook.xml");
    auto rels_name = package.member("xl/_rels/workbook.xml.rels");
    if (!workbook_name || !rels_name) raise_value_error("it holds no workbook part");
    WorkbookInfo info = parse_workbook(package.whole(*workbook_name));
    auto relations = parse_relationships(package.whole(*rels_name));
    auto is_worksheet = [&](const WorkbookSheet& sheet) {
        auto found = relations.find(sheet.relation);
        return found != relations.end() && found->second.type.size() >= 10 &&
               found->second.type.compare(found->second.type.size() - 10, 10, "/worksheet") == 0;
    };
    const WorkbookSheet* chosen = nullptr;
    if (py::isinstance<py::str>(sheet_name)) {
        std::string wanted = sheet_name.cast<std::string>();
        for (const auto& sheet : info.sheets) {
            if (sheet.name == wanted) chosen = &sheet;
        }
        if (!chosen) {
            std::string names;
            for (const auto& sheet : info.sheets) names += (names.empty() ? "'" : ", '") + sheet.name + "'";
            raise_value_error("it has no sheet named '" + wanted + "' (its sheets: " + names + ")");
        }
    } else if (!sheet_name.is_none()) {
        long long index = sheet_name.cast<long long>();
        if (index < 0 || index >= static_cast<long long>(info.sheets.size())) {
            raise_value_error("it has " + std::to_string(info.sheets.size()) +
                              (info.sheets.size() == 1 ? " sheet" : " sheets") + ", not " + std::to_string(index + 1));
        }
        chosen = &info.sheets[static_cast<size_t>(index)];
    } else {
        for (const auto& sheet : info.sheets) {
            if (sheet.visible && is_worksheet(sheet)) {
                chosen = &sheet;
                break;
            }
        }
        if (!chosen) raise_value_error("it has no visible worksheet");
    }
    if (!is_worksheet(*chosen)) raise_value_error("sheet '" + chosen->name + "' is not a worksheet");
    auto part = package.member(workbook_part(relations.at(chosen->relation).target));
    if (!part) raise_value_error("the part of sheet '" + chosen->name + "' is missing");
    return {*part, chosen->name};
}

// The relationship target of the given type ("/sharedStrings", "/styles").
std::optional<std::string> related_part(const Package& package, const std::string& suffix) {
    auto rels_name = package.member("xl/_rels/workbook.xml.rels");
    if (!rels_name) return std::nullopt;
    for (const auto& [id, relation] : parse_relationships(package.whole(*rels_name))) {
        const std::string& type = relation.type;
        if (type.size() >= suffix.size() && type.compare(type.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return package.member(workbook_part(relation.target));
        }
    }
    return std::nullopt;
}

class Converter {
public:
    Converter(std::vector<CellFormat> formats, bool date1904)
        : formats_(std::move(formats)),
          date1904_(date1904),
          datetime_(py::module_::import("datetime").attr("datetime")) {}

    py::object number(const SheetCell& cell) const {
        const std::string& text = cell.value;
        const char* first = text.data();
        const char* last = text.data() + text.size();
        CellFormat format = cell.style >= 0 && static_cast<size_t>(cell.style) < formats_.size()
                                ? formats_[static_cast<size_t>(cell.style)]
                                : CellFormat{};
        if (!format.date && text.find_first_of(".eE") == std::string::npos) {
            long long whole = 0;
            auto result = std::from_chars(first, last, whole);
            if (result.ec == std::errc() && result.ptr == last) {
                // 45001234 shown as 0045001234 is read as the sheet shows it.
                if (format.zero_width > 0 && whole >= 0) {
                    std::string digits = std::to_string(whole);
                    if (digits.size() < static_cast<size_t>(format.zero_width)) {
                        digits.insert(0, static_cast<size_t>(format.zero_width) - digits.size(), '0');
                    }
                    return py::str(digits);
                }
                return py::int_(whole);
            }
        }
        double value = 0;
        auto result = std::from_chars(first, last, value);
        if (result.ec != std::errc() || result.ptr != last) return py::str(text);
        if (format.date && std::isfinite(value) && value >= 0 && value < 2958466) return date_of(value);
        return py::float_(value);
    }

    // A cell of type "d": an ISO 8601 date and time; other text stays text.
    py::object iso_date(const std::string& text) const {
        int parts[6] = {0, 0, 0, 0, 0, 0};
        const char* at = text.data();
        const char* end = text.data() + text.size();
        const char separators[] = {'-', '-', 'T', ':', ':'};
        int count = 0;
        for (; count < 6 && at < end; ++count) {
            auto result = std::from_chars(at, end, parts[count]);
            if (result.ec != std::errc()) return py::str(text);
            at = result.ptr;
            if (at < end && count < 5 && *at == separators[count]) ++at;
            else break;
        }
        if (count < 2) return py::str(text);
        try {
            return datetime_(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_ValueError)) throw;
            return py::str(text);
        }
    }

private:
    py::object date_of(double serial) const {
        long long seconds = std::llround(serial * 86400.0);
        CivilDate date = date_of_serial(seconds / 86400, date1904_);
        seconds %= 86400;
        return datetime_(date.year, date.month, date.day, seconds / 3600, seconds / 60 % 60, seconds % 60);
    }

    std::vector<CellFormat> formats_;
    bool date1904_;
    py::object datetime_;
};

}  // namespace

bool is_xlsx_package(py::handle path) {
    py::object file = py::module_::import("io").attr("open")(path, "rb");
    py::bytes head = file.attr("read")(4);
    file.attr("close")();
    if (std::string(head) != std::string("PK\x03\x04", 4)) return false;
    Package package(path);
    return package.member("xl/workbook.xml").has_value();
}

FieldRows read_xlsx_fields(py::handle path, const std::vector<Field>& fields, py::object sheet_name) {
    Package package(path);
    ChosenSheet sheet = choose_sheet(package, sheet_name);
    FieldRows result;
    result.sheet = sheet.name;
    result.columns.resize(fields.size());
    if (fields.empty()) return result;

    std::vector<int> columns;
    int first_row = velutil::kMaxRows;
    for (const auto& field : fields) {
        columns.push_back(field.reference.column);
        first_row = std::min(first_row, field.reference.row);
    }
    SheetCellReader cells(columns, first_row);
    package.stream(sheet.part, cells);

    std::vector<size_t> shared;
    for (const auto& cell : cells.cells()) {
        if (cell.type != SheetCell::Type::kShared) continue;
        size_t index = 0;
        auto parsed = std::from_chars(cell.value.data(), cell.value.data() + cell.value.size(), index);
        if (parsed.ec == std::errc()) shared.push_back(index);
    }
    SharedStringReader strings(shared);
    if (!shared.empty()) {
        // Some writers list the shared strings only among the content
        // types, not as a relationship: then the part has its usual name.
        auto part = related_part(package, "/sharedStrings");
        if (!part) part = package.member("xl/sharedStrings.xml");
        if (part) package.stream(*part, strings);
    }
    std::vector<CellFormat> styles;
    if (auto part = related_part(package, "/styles")) styles = cell_formats(package.whole(*part));
    WorkbookInfo info = parse_workbook(package.whole(*package.member("xl/workbook.xml")));
    Converter convert(std::move(styles), info.date1904);

    // Cells arrive row by row; a row with no value in a mapped cell is left out.
    int current_row = 0;
    std::vector<py::object> row(fields.size());
    bool any = false;
    auto flush = [&]() {
        if (!any) return;
        for (size_t k = 0; k < fields.size(); ++k) result.columns[k].append(row[k]);
        result.rows.push_back(current_row);
    };
    auto& kept = cells.cells();
    std::stable_sort(kept.begin(), kept.end(), [](const SheetCell& a, const SheetCell& b) { return a.row < b.row; });
    for (const auto& cell : kept) {
        if (cell.row != current_row) {
            flush();
            current_row = cell.row;
            std::fill(row.begin(), row.end(), py::none());
            any = false;
        }
        if (cell.value.empty()) continue;  // a formula saved without its result
        py::object value;
        switch (cell.type) {
            case SheetCell::Type::kNumber:
                value = convert.number(cell);
                break;
            case SheetCell::Type::kShared: {
                size_t index = 0;
                std::from_chars(cell.value.data(), cell.value.data() + cell.value.size(), index);
                auto found = strings.strings().find(index);
                if (found == strings.strings().end() || is_blank_text(found->second)) continue;
                value = py::str(found->second);
                break;
            }
            case SheetCell::Type::kBool:
                value = py::bool_(cell.value == "1" || cell.value == "true");
                break;
            case SheetCell::Type::kIsoDate:
                value = convert.iso_date(cell.value);
                break;
            default:  // text, error values as their text
                if (is_blank_text(cell.value)) continue;
                value = py::str(cell.value);
                break;
        }
        for (size_t k = 0; k < fields.size(); ++k) {
            if (fields[k].reference.column != cell.column || cell.row < fields[k].reference.row) continue;
            row[k] = value;
            any = true;
        }
    }
    flush();
    return result;
}

}  // namespace velutil::excel_tables
