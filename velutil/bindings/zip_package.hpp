// A zip archive (workbook package) read through Python's zipfile: the
// file is opened by its name (bytes or text), members are found whatever
// their case and streamed out in chunks, so that a part of any size costs
// no more memory than one chunk.
#pragma once
#include <pybind11/pybind11.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "text_kit.hpp"

namespace velutil::excel_tables {

namespace py = pybind11;

constexpr Py_ssize_t kChunk = 1 << 20;

// The archive's members by lower-case name: writers differ in case.
class Package {
public:
    explicit Package(py::handle path) {
        py::module_ zipfile = py::module_::import("zipfile");
        file_ = py::module_::import("io").attr("open")(path, "rb");
        try {
            archive_ = zipfile.attr("ZipFile")(file_);
        } catch (py::error_already_set&) {
            file_.attr("close")();
            throw;
        }
        for (py::handle name : archive_.attr("namelist")()) {
            std::string text = name.cast<std::string>();
            names_.emplace(ascii_lower(text), text);
        }
    }
    ~Package() {
        try {
            if (archive_) archive_.attr("close")();
            if (file_) file_.attr("close")();
        } catch (py::error_already_set& error) {
            error.discard_as_unraisable(__func__);
        }
    }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    std::optional<std::string> member(const std::string& name) const {
        auto found = names_.find(ascii_lower(name));
        if (found == names_.end()) return std::nullopt;
        return found->second;
    }

    // Whether the archive has a member of exactly this name (as readers
    // that go by exact names see it).
    bool has(const std::string& name) const { return archive_.attr("NameToInfo").contains(name); }

    // The first `size` bytes of a member (fewer when it is shorter).
    std::string head(const std::string& name, size_t size) const {
        py::object part = archive_.attr("open")(name);
        py::bytes data = part.attr("read")(size);
        part.attr("close")();
        return data;
    }

    // Feeds a member to `reader` (feed/finish) chunk by chunk.
    template <typename Reader>
    void stream(const std::string& name, Reader& reader) const {
        py::object part = archive_.attr("open")(name);
        py::object read = part.attr("read");
        for (;;) {
            py::bytes chunk = read(kChunk);
            char* data = nullptr;
            Py_ssize_t size = 0;
            if (PyBytes_AsStringAndSize(chunk.ptr(), &data, &size) != 0) throw py::error_already_set();
            if (size == 0) break;
            reader.feed(std::string_view(data, static_cast<size_t>(size)));
        }
        part.attr("close")();
        reader.finish();
    }

    std::string whole(const std::string& name) const {
        struct Collect {
            std::string text;
            void feed(std::string_view chunk) { text.append(chunk); }
            void finish() {}
        } collect;
        stream(name, collect);
        return collect.text;
    }

private:
    py::object file_;
    py::object archive_;
    std::map<std::string, std::string> names_;
};

}  // namespace velutil::excel_tables
