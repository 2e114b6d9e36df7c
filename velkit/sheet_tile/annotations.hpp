// A source page's annotations carried onto its sheet: moved, scaled and
// turned with the page, and links into the same source pointed at the
// sheet that holds their target page.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "geometry.hpp"

namespace velkit::sheet_tile {

// The links of one source file, waiting until all its pages are placed.
class LinkBook {
public:
    explicit LinkBook(py::object reader) : reader_(std::move(reader)) {}

    // `page` of this source was drawn on `sheet` through `placement`, fitted
    // by `box`.
    void placed(py::handle page, py::object sheet, const Matrix& placement, const Box& box);

    // `copy` (an annotation on the sheet whose /Annots is `sheet_annots`)
    // goes to `target`, a destination of this source, through its /Dest or,
    // when `as_action`, through a GoTo action.
    void wait(py::object copy, py::object sheet_annots, py::object target, bool as_action);

    // Points every waiting link at the sheet holding its target page. A
    // link whose page was not placed (or that names no page) is removed
    // rather than left pointing at nothing. Returns how many were removed.
    long resolve();

private:
    struct Placed {
        py::object sheet;
        Matrix placement;
        Box box;
    };
    struct Waiting {
        py::object copy;
        py::object sheet_annots;
        py::object target;
        bool as_action;
    };
    py::object destination_array(py::handle target);
    const Placed* page_of(py::handle page_entry);

    py::object reader_;
    py::object named_ = py::none();  // the source's named destinations, read when a link needs them
    std::unordered_map<long, Placed> placed_;  // by the source page's object number
    std::vector<Waiting> waiting_;
};

// Copies the annotations of `page` onto `sheet` through `placement`: every
// coordinate entry (/Rect, /QuadPoints, /InkList, /Vertices, /L, /CL) is
// mapped, appearances are turned with the page, popups and replies keep
// their partners, and links wait in `links`. Annotations that lie entirely
// outside `box` are left out, as is one that cannot be read (with a warning
// naming `where`). `turned_appearances` remembers appearance streams already
// turned, which annotations may share.
void copy_annotations(py::handle writer, py::handle page, const Box& box, const Matrix& placement, py::object sheet,
                      py::object sheet_annots, LinkBook& links, std::unordered_set<long>& turned_appearances,
                      const std::string& where);

}  // namespace velkit::sheet_tile
