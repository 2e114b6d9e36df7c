#include "layers.hpp"

#include <map>
#include <set>

namespace velkit::sheet_tile {

namespace {

// The groups of `source` already copied into the report, by their id in
// the source.
using Carried = std::map<QPDFObjGen, QPDFObjectHandle>;

std::set<QPDFObjGen> ids_in(QPDFObjectHandle array) {
    std::set<QPDFObjGen> ids;
    if (!array.isArray()) return ids;
    for (QPDFObjectHandle item : array.aitems()) {
        if (item.isIndirect()) ids.insert(item.getObjGen());
    }
    return ids;
}

std::vector<QPDFObjectHandle> carried_in(QPDFObjectHandle array, const Carried& carried) {
    std::vector<QPDFObjectHandle> found;
    if (!array.isArray()) return found;
    for (QPDFObjectHandle item : array.aitems()) {
        auto copy = item.isIndirect() ? carried.find(item.getObjGen()) : carried.end();
        if (copy != carried.end()) found.push_back(copy->second);
    }
    return found;
}

QPDFObjectHandle array_of(const std::vector<QPDFObjectHandle>& items) {
    QPDFObjectHandle result = QPDFObjectHandle::newArray();
    for (const QPDFObjectHandle& item : items) result.appendItem(item);
    return result;
}

// A source's /Order with its groups as copied: groups, labels (text) and
// nested arrays; anything else, and groups not carried, stay out. The
// depth bound keeps a cyclic array from looping.
void copy_order(QPDFObjectHandle order, const Carried& carried, QPDFObjectHandle into, int depth = 0) {
    if (!order.isArray() || depth > 32) return;
    for (QPDFObjectHandle item : order.aitems()) {
        auto copy = item.isIndirect() ? carried.find(item.getObjGen()) : carried.end();
        if (copy != carried.end()) {
            into.appendItem(copy->second);
        } else if (item.isString()) {
            into.appendItem(QPDFObjectHandle::newUnicodeString(item.getUTF8Value()));
        } else if (item.isArray()) {
            QPDFObjectHandle nested = QPDFObjectHandle::newArray();
            copy_order(item, carried, nested, depth + 1);
            if (nested.getArrayNItems() > 0) into.appendItem(nested);
        }
    }
}

}  // namespace

void Layers::carry(QPDF& source, QPDF& report, const std::string& label) {
    QPDFObjectHandle properties = source.getRoot().getKeyIfDict("/OCProperties");
    QPDFObjectHandle groups = properties.getKeyIfDict("/OCGs");
    if (!groups.isArray()) return;
    // The default view: every group on unless /BaseState /OFF, then the
    // /ON and /OFF lists.
    QPDFObjectHandle view = properties.getKeyIfDict("/D");
    const bool base_off = view.getKeyIfDict("/BaseState").isNameAndEquals("/OFF");
    const std::set<QPDFObjGen> on = ids_in(view.getKeyIfDict("/ON"));
    const std::set<QPDFObjGen> off = ids_in(view.getKeyIfDict("/OFF"));
    Carried carried;
    for (QPDFObjectHandle group : groups.aitems()) {
        if (!group.isIndirect() || !group.isDictionary()) continue;
        const QPDFObjGen id = group.getObjGen();
        QPDFObjectHandle copy = report.copyForeignObject(group);
        if (!carried.emplace(id, copy).second) continue;
        groups_.push_back(copy);
        if (off.count(id) || (base_off && !on.count(id))) hidden_.push_back(copy);
    }
    if (carried.empty()) return;

    QPDFObjectHandle entry = QPDFObjectHandle::newArray();
    entry.appendItem(QPDFObjectHandle::newUnicodeString(label));
    if (view.getKeyIfDict("/Order").isArray()) {
        copy_order(view.getKeyIfDict("/Order"), carried, entry);
    } else {
        copy_order(groups, carried, entry);
    }
    order_.push_back(entry);

    QPDFObjectHandle radio = view.getKeyIfDict("/RBGroups");
    if (radio.isArray()) {
        for (QPDFObjectHandle set : radio.aitems()) {
            std::vector<QPDFObjectHandle> members = carried_in(set, carried);
            if (members.size() > 1) radio_groups_.push_back(array_of(members));
        }
    }
    for (QPDFObjectHandle& locked : carried_in(view.getKeyIfDict("/Locked"), carried)) locked_.push_back(locked);
    QPDFObjectHandle states = view.getKeyIfDict("/AS");
    if (states.isArray()) {
        for (QPDFObjectHandle state : states.aitems()) {
            if (!state.isDictionary() || !state.getKey("/Event").isName()) continue;
            std::vector<QPDFObjectHandle> members = carried_in(state.getKey("/OCGs"), carried);
            if (members.empty()) continue;
            QPDFObjectHandle application = QPDFObjectHandle::newDictionary();
            application.replaceKey("/Event", QPDFObjectHandle::newName(state.getKey("/Event").getName()));
            application.replaceKey("/OCGs", array_of(members));
            QPDFObjectHandle category = QPDFObjectHandle::newArray();
            QPDFObjectHandle categories = state.getKey("/Category");
            if (categories.isArray()) {
                for (QPDFObjectHandle name : categories.aitems()) {
                    if (name.isName()) category.appendItem(QPDFObjectHandle::newName(name.getName()));
                }
            }
            application.replaceKey("/Category", category);
            auto_states_.push_back(application);
        }
    }
}

void Layers::write(QPDF& report) const {
    if (groups_.empty()) return;
    QPDFObjectHandle view = QPDFObjectHandle::newDictionary();
    view.replaceKey("/BaseState", QPDFObjectHandle::newName("/ON"));
    view.replaceKey("/OFF", array_of(hidden_));
    view.replaceKey("/Order", array_of(order_));
    if (!radio_groups_.empty()) view.replaceKey("/RBGroups", array_of(radio_groups_));
    if (!locked_.empty()) view.replaceKey("/Locked", array_of(locked_));
    if (!auto_states_.empty()) view.replaceKey("/AS", array_of(auto_states_));
    QPDFObjectHandle properties = QPDFObjectHandle::newDictionary();
    properties.replaceKey("/OCGs", array_of(groups_));
    properties.replaceKey("/D", view);
    report.getRoot().replaceKey("/OCProperties", properties);
}

}  // namespace velkit::sheet_tile
