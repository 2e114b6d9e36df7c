// A source page's annotations carried onto its sheet: moved, scaled and
// turned with the page, and links into the same source pointed at the
// sheet that holds their target page.
#pragma once
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "geometry.hpp"
#include "sheets.hpp"

namespace velkit::sheet_tile {

// The destinations of one source file, waiting until all its pages are
// placed: links, and (through `on_sheet`) its bookmarks.
class LinkBook {
public:
    explicit LinkBook(QPDF& source);

    // The page `page` of this source was drawn on `sheet` through
    // `placement`, showing `box` of it.
    void placed(QPDFObjGen page, QPDFObjectHandle sheet, const Matrix& placement, const Box& box);

    // `copy` (an annotation of the report) goes to `target`, a destination
    // of the source (an array, a name, a string or a dictionary with /D),
    // through its /Dest or, when `as_action`, through a GoTo action.
    void wait(QPDFObjectHandle copy, QPDFObjectHandle target, bool as_action);

    // The destination on the sheets of the report for `target`, or null
    // when its page was not placed or it names none. Named destinations are
    // looked up in both the catalog's /Dests and the /Names tree.
    QPDFObjectHandle on_sheet(QPDFObjectHandle target);

    // Points every waiting link at the sheet holding its target page.
    // Returns the links whose page was not placed (or that name none): they
    // are taken off the sheets rather than left pointing at nothing.
    std::set<QPDFObjGen> resolve();

private:
    struct Placed {
        QPDFObjectHandle sheet;
        Matrix placement;
        Box box;
    };
    struct Waiting {
        QPDFObjectHandle copy;
        QPDFObjectHandle target;
        bool as_action;
    };
    QPDFObjectHandle named(QPDFObjectHandle name);
    const Placed* page_of(QPDFObjectHandle page_entry);

    QPDF& source_;
    std::vector<QPDFObjGen> pages_;  // the source's pages in order, for destinations by index
    std::map<QPDFObjGen, Placed> placed_;
    std::vector<Waiting> waiting_;
};

// Appearance streams of the report turned for a page, by the stream and
// the turn (its first two matrix entries, rounded): one turned copy each,
// while the stream itself stays as it is for pages that are not turned.
using TurnedAppearances = std::map<std::tuple<QPDFObjGen, long, long>, QPDFObjectHandle>;

// What copy_annotations works with for one placed page.
struct PageOnSheet {
    QPDF& report;
    QPDFPageObjectHelper& page;
    Box shown;          // the part of the page shown, in its user space
    Matrix placement;   // source user space to sheet
    Sheets& sheets;     // the current sheet receives the copies
    LinkBook& links;
    TurnedAppearances& turned_appearances;
    std::set<QPDFObjGen>& copied;              // source annotations already copied from this file
    std::function<void(const std::string&)> left_out;  // told once per annotation left out, with why
};

// Copies the page's annotations onto its sheet: every coordinate entry
// (/Rect, /QuadPoints, /InkList, /Vertices, /L, /CL, /RD) is mapped, border
// widths and free-text sizes scale, appearances are turned with the page
// (a free-text note without one is given one), popups and replies keep
// their partners, and links wait in the LinkBook. An annotation that a
// viewer would not draw on the shown part of the page is left out, as is
// one that cannot be read.
void copy_annotations(PageOnSheet& on_sheet);

}  // namespace velkit::sheet_tile
