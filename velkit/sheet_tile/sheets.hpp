// The output sheets of one run, built in the writer. A source page is drawn
// as a form XObject that keeps its own content stream as it was (still
// compressed, never parsed), so that the output stays about as small as its
// sources and placing a page costs almost nothing.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>

#include "geometry.hpp"

namespace velkit::sheet_tile {

// The page's content as a form XObject in `writer` that shows `box` of it;
// its resources are shared with the other pages of the same source. None
// when the page has no content.
py::object form_xobject(py::handle writer, py::handle page, const Box& box);

class Sheets {
public:
    Sheets(py::object writer, double width, double height);

    // Finishes the current sheet and adds a new, empty one to the writer.
    void start();
    bool started() const { return !sheet_.is_none(); }
    // The sheet being filled (a page of the writer).
    const py::object& current() const { return sheet_; }

    // Draws the form XObject `form` through `placement` on the current sheet.
    void place(py::handle form, const Matrix& placement);
    // Adds content operators to the current sheet.
    void draw(const std::string& operators);
    // The current sheet's /Annots array, made when missing.
    py::object annotations();

    // Writes the current sheet's content as one compressed stream.
    void finish();

private:
    py::object writer_;
    double width_;
    double height_;
    py::object sheet_ = py::none();
    py::object forms_ = py::none();  // the current sheet's /XObject dictionary
    std::string content_;
    long form_count_ = 0;
};

}  // namespace velkit::sheet_tile
