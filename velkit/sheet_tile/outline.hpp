// The report's bookmarks: one per merged file, with the file's own
// bookmarks nested under it, each pointing at the sheet and spot that show
// its target.
#pragma once
#include <qpdf/QPDF.hh>

#include <string>
#include <vector>

#include "annotations.hpp"

namespace velkit::sheet_tile {

struct OutlineItem {
    std::string title;  // UTF-8
    QPDFObjectHandle destination = QPDFObjectHandle::newNull();  // null: a heading without a target
    QPDFObjectHandle action = QPDFObjectHandle::newNull();       // a web link or other action, of the report
    bool open = false;
    std::vector<OutlineItem> kids;
};

// The bookmarks of `source`, their destinations put on the sheets through
// `links` (a bookmark whose page is not in the report keeps its title and
// its children but leads nowhere); other actions (web links) are copied
// into `report` as they are.
std::vector<OutlineItem> source_bookmarks(QPDF& source, QPDF& report, LinkBook& links);

// Writes `items` as the report's /Outlines.
void write_outline(QPDF& report, const std::vector<OutlineItem>& items);

}  // namespace velkit::sheet_tile
