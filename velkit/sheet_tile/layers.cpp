#include "layers.hpp"

#include <set>

namespace velkit::sheet_tile {

namespace {

std::set<QPDFObjGen> ids_in(QPDFObjectHandle array) {
    std::set<QPDFObjGen> ids;
    if (!array.isArray()) return ids;
    for (QPDFObjectHandle item : array.aitems()) {
        if (item.isIndirect()) ids.insert(item.getObjGen());
    }
    return ids;
}

}  // namespace

void Layers::carry(QPDF& source, QPDF& report) {
    QPDFObjectHandle properties = source.getRoot().getKeyIfDict("/OCProperties");
    QPDFObjectHandle groups = properties.getKeyIfDict("/OCGs");
    if (!groups.isArray()) return;
    QPDFObjectHandle view = properties.getKeyIfDict("/D");
    // The default view: every group on unless /BaseState /OFF, then the
    // /ON and /OFF lists.
    const bool base_off = view.getKeyIfDict("/BaseState").isNameAndEquals("/OFF");
    const std::set<QPDFObjGen> on = ids_in(view.getKeyIfDict("/ON"));
    const std::set<QPDFObjGen> off = ids_in(view.getKeyIfDict("/OFF"));
    for (QPDFObjectHandle group : groups.aitems()) {
        if (!group.isIndirect() || !group.isDictionary()) continue;
        QPDFObjectHandle copy = report.copyForeignObject(group);
        groups_.push_back(copy);
        const QPDFObjGen id = group.getObjGen();
        if (off.count(id) || (base_off && !on.count(id))) hidden_.push_back(copy);
    }
}

void Layers::write(QPDF& report) const {
    if (groups_.empty()) return;
    auto array = [](const std::vector<QPDFObjectHandle>& items) {
        QPDFObjectHandle result = QPDFObjectHandle::newArray();
        for (const QPDFObjectHandle& item : items) result.appendItem(item);
        return result;
    };
    QPDFObjectHandle view = QPDFObjectHandle::newDictionary();
    view.replaceKey("/BaseState", QPDFObjectHandle::newName("/ON"));
    view.replaceKey("/OFF", array(hidden_));
    view.replaceKey("/Order", array(groups_));
    QPDFObjectHandle properties = QPDFObjectHandle::newDictionary();
    properties.replaceKey("/OCGs", array(groups_));
    properties.replaceKey("/D", view);
    report.getRoot().replaceKey("/OCProperties", properties);
}

}  // namespace velkit::sheet_tile
