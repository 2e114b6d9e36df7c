// velutil.excelTools, reading: workbooks that python-calamine reads are
// looked over before it holds a sheet's whole used range (see
// binary_sheets.hpp and ods_sheets.hpp). A .xls or .ods is taken in whole,
// every sheet, when calamine opens it; a .xlsb sheet when it is asked for.
#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "binary_sheets.hpp"
#include "excel_tables.hpp"
#include "ods_sheets.hpp"
#include "py_messages.hpp"
#include "sheet_xml.hpp"
#include "zip_package.hpp"

namespace velutil::excel_tables {

using py_messages::raise_value_error;

namespace {

std::string_view bytes_view(const py::bytes& data) {
    char* start = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(data.ptr(), &start, &size) != 0) throw py::error_already_set();
    return {start, static_cast<size_t>(size)};
}

// A Python object with a close(), closed when this goes (also the olefile
// compound file and the zip archive, whatever way the check ends).
class Closing {
public:
    explicit Closing(py::object object) : object_(std::move(object)) {}
    ~Closing() {
        try {
            object_.attr("close")();
        } catch (py::error_already_set& error) {
            error.discard_as_unraisable(__func__);
        }
    }
    Closing(const Closing&) = delete;
    Closing& operator=(const Closing&) = delete;

    const py::object& get() const { return object_; }

private:
    py::object object_;
};

// The file, open for reading. Names may be bytes, which zipfile and olefile
// take for something else: they get the open file.
Closing open_file(py::handle path) { return Closing(py::module_::import("io").attr("open")(path, "rb")); }

bool starts_with(const Closing& file, std::string_view magic) {
    py::bytes head = file.get().attr("read")(magic.size());
    file.get().attr("seek")(0);
    return std::string(head) == magic;
}

void refuse_far_span(const velutil::SheetSpan& span) {
    if (auto problem = velutil::span_problem(span)) raise_value_error(*problem);
}

template <typename Read>
auto records_read(Read read) -> decltype(read()) {
    try {
        return read();
    } catch (const std::invalid_argument& error) {
        raise_value_error(std::string("its records are damaged (") + error.what() + ")");
    }
}

}  // namespace

void check_xls_sheets(py::handle path) {
    Closing file = open_file(path);
    if (!starts_with(file, std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))) return;
    Closing compound(py::module_::import("olefile").attr("OleFileIO")(file.get()));
    py::bytes stream;
    for (const char* name : {"Workbook", "Book"}) {
        if (compound.get().attr("exists")(name).cast<bool>()) {
            stream = compound.get().attr("openstream")(name).attr("read")();
            break;
        }
    }
    if (!stream) return;  // no workbook stream: the reader says so
    for (const auto& span : records_read([&] { return velutil::xls_sheet_spans(bytes_view(stream)); })) {
        refuse_far_span(span);
    }
}

void check_xlsb_sheet(py::handle path, const std::string& sheet) {
    Closing file = open_file(path);
    if (!starts_with(file, std::string_view("PK\x03\x04", 4))) return;
    Closing zip(py::module_::import("zipfile").attr("ZipFile")(file.get()));
    py::object members = zip.get().attr("NameToInfo");
    auto read = [&](const std::string& name) -> py::bytes { return zip.get().attr("read")(name); };
    if (!members.contains("xl/workbook.bin") || !members.contains("xl/_rels/workbook.bin.rels")) return;
    py::bytes workbook = read("xl/workbook.bin");
    auto entries = records_read([&] { return velutil::xlsb_sheet_entries(bytes_view(workbook)); });
    py::bytes rels = read("xl/_rels/workbook.bin.rels");
    auto relations = velutil::parse_relationships(bytes_view(rels));
    for (const auto& entry : entries) {
        if (entry.name != sheet) continue;
        auto relation = relations.find(entry.relation);
        if (relation == relations.end()) return;
        std::string part = velutil::workbook_part(relation->second.target);
        if (!members.contains(part)) return;
        py::bytes data = read(part);
        velutil::SheetSpan span = records_read([&] { return velutil::xlsb_sheet_span(bytes_view(data)); });
        span.name = sheet;
        refuse_far_span(span);
        return;
    }
}

void check_ods_sheets(py::handle path) {
    {
        Closing file = open_file(path);
        if (!starts_with(file, std::string_view("PK\x03\x04", 4))) return;
    }
    Package package(path);
    // What calamine asks of a spreadsheet before it reads the content: the
    // exact type, a manifest, no encryption. Otherwise it says what is wrong.
    constexpr std::string_view kType = "application/vnd.oasis.opendocument.spreadsheet";
    if (!package.has("mimetype") || package.head("mimetype", kType.size()) != kType) return;
    if (!package.has("META-INF/manifest.xml") || !package.has("content.xml")) return;
    velutil::OdsManifestReader manifest;
    try {
        package.stream("META-INF/manifest.xml", manifest);
    } catch (const velutil::XmlError&) {
        // its own reader may still take it: the content is looked at all the same
    }
    if (manifest.encrypted()) return;
    velutil::OdsSpanReader content;
    package.stream("content.xml", content);
    for (const auto& span : content.spans()) refuse_far_span(span);
}

}  // namespace velutil::excel_tables
