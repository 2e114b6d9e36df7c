#include "outline.hpp"

#include <qpdf/QPDFOutlineDocumentHelper.hh>

namespace velkit::sheet_tile {

namespace {

// Deeper nesting than any real document has: a guard against crafted ones.
constexpr int kMaxDepth = 64;

std::vector<OutlineItem> items_of(std::vector<QPDFOutlineObjectHelper> helpers, QPDF& report, LinkBook& links,
                                  int depth) {
    std::vector<OutlineItem> items;
    if (depth > kMaxDepth) return items;
    for (QPDFOutlineObjectHelper& helper : helpers) {
        QPDFObjectHandle object = helper.getObjectHandle();
        OutlineItem item;
        item.title = helper.getTitle();
        item.open = helper.getCount() > 0;
        QPDFObjectHandle target = object.getKey("/Dest");
        QPDFObjectHandle action = object.getKey("/A");
        if (target.isNull() && action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo")) {
            target = action.getKey("/D");
        }
        if (!target.isNull()) {
            item.destination = links.on_sheet(target);
        } else if (action.isDictionary()) {
            // A chain of further actions could lead into the source's pages.
            QPDFObjectHandle own = action.shallowCopy();
            own.removeKey("/Next");
            item.action = report.copyForeignObject(object.getQPDF().makeIndirectObject(own));
        }
        item.kids = items_of(helper.getKids(), report, links, depth + 1);
        items.push_back(std::move(item));
    }
    return items;
}

long shown_count(const std::vector<OutlineItem>& items) {
    long count = 0;
    for (const OutlineItem& item : items) count += 1 + (item.open ? shown_count(item.kids) : 0);
    return count;
}

void link_items(QPDF& report, QPDFObjectHandle parent, const std::vector<OutlineItem>& items) {
    std::vector<QPDFObjectHandle> objects;
    for (const OutlineItem& item : items) {
        QPDFObjectHandle object = report.makeIndirectObject(QPDFObjectHandle::newDictionary());
        object.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(item.title));
        object.replaceKey("/Parent", parent);
        QPDFObjectHandle destination = item.destination;
        if (!destination.isNull()) object.replaceKey("/Dest", destination);
        QPDFObjectHandle action = item.action;
        if (!action.isNull()) object.replaceKey("/A", action);
        if (!item.kids.empty()) {
            link_items(report, object, item.kids);
            long count = shown_count(item.kids);
            object.replaceKey("/Count", QPDFObjectHandle::newInteger(item.open ? count : -count));
        }
        objects.push_back(object);
    }
    for (size_t i = 0; i < objects.size(); ++i) {
        if (i > 0) objects[i].replaceKey("/Prev", objects[i - 1]);
        if (i + 1 < objects.size()) objects[i].replaceKey("/Next", objects[i + 1]);
    }
    if (objects.empty()) return;
    parent.replaceKey("/First", objects.front());
    parent.replaceKey("/Last", objects.back());
}

}  // namespace

std::vector<OutlineItem> source_bookmarks(QPDF& source, QPDF& report, LinkBook& links) {
    QPDFOutlineDocumentHelper outlines(source);
    if (!outlines.hasOutlines()) return {};
    return items_of(outlines.getTopLevelOutlines(), report, links, 0);
}

void write_outline(QPDF& report, const std::vector<OutlineItem>& items) {
    if (items.empty()) return;
    QPDFObjectHandle root = report.makeIndirectObject(QPDFObjectHandle::newDictionary());
    root.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
    link_items(report, root, items);
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(shown_count(items)));
    report.getRoot().replaceKey("/Outlines", root);
}

}  // namespace velkit::sheet_tile
