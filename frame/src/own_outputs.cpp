#include "velkit/frame/own_outputs.hpp"

#include <fstream>

#include "velkit/frame/pdf_mark.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::frame {

namespace {

// Nothing, a regular file (or a link to one), or something else.
Existing what_is_there(py::handle path) {
    py::module_ os_path = py::module_::import("os.path");
    if (!py::bool_(os_path.attr("lexists")(path))) return Existing::kNone;
    return py::bool_(os_path.attr("isfile")(path)) ? Existing::kOwn : Existing::kOther;
}

bool starts_with_bytes(py::handle path, const std::string& magic) {
    std::ifstream file(fs_path(path), std::ios::binary);
    std::string head(magic.size(), '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    return file && head == magic;
}

bool text_is(py::handle value, const std::string& mark) {
    return !value.is_none() && py::isinstance<py::str>(value) && shown(value) == mark;
}

}  // namespace

Existing existing_pdf_output(py::handle path, const std::string& mark) {
    Existing there = what_is_there(path);
    if (there != Existing::kOwn) return there;
    if (!starts_with_bytes(path, "%PDF")) return Existing::kOther;
    return pdf_carries_mark(fs_path(path), mark) ? Existing::kOwn : Existing::kOther;
}

Existing existing_workbook_output(py::handle path, const std::string& mark) {
    Existing there = what_is_there(path);
    if (there != Existing::kOwn) return there;
    if (!starts_with_bytes(path, "PK")) return Existing::kOther;
    try {
        py::object zip_file = py::module_::import("zipfile").attr("ZipFile")(path);
        py::object core;
        try {
            core = zip_file.attr("read")("docProps/core.xml");
        } catch (py::error_already_set& error) {
            zip_file.attr("close")();
            if (!error.matches(PyExc_KeyError)) throw;
            return Existing::kOther;
        }
        zip_file.attr("close")();
        py::object root = py::module_::import("xml.etree.ElementTree").attr("fromstring")(core);
        py::object creator = root.attr("findtext")("{http://purl.org/dc/elements/1.1/}creator");
        return text_is(creator, mark) ? Existing::kOwn : Existing::kOther;
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_Exception)) throw;
        return Existing::kOther;
    }
}

std::string not_own_output_text(py::handle path, const std::string& tool, const std::string& key) {
    return shown(path) + " exists and was not written by " + tool + "; it is left as it is. Choose another name for " +
           key + ", or move that file away";
}

}  // namespace velkit::frame
