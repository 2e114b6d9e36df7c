#include "annotations.hpp"

#include <cmath>

#include "destination.hpp"
#include "state.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::sheet_tile {

namespace {

py::object name(const char* text) { return pdf_name("NameObject")(text); }

double real(py::handle value) {
    return py::float_(py::reinterpret_borrow<py::object>(value).attr("get_object")()).cast<double>();
}

bool is_reference(py::handle value) { return py::isinstance(value, pdf_name("IndirectObject")); }

long object_number(py::handle reference) { return reference.attr("idnum").cast<long>(); }

py::object float_array(const std::vector<double>& values) {
    py::list items;
    for (double value : values) items.append(pdf_name("FloatObject")(value));
    return pdf_name("ArrayObject")(items);
}

// The numbers of an array entry (resolving references), or nothing when the
// entry is no array of numbers.
std::optional<std::vector<double>> numbers_of(py::handle value) {
    py::object array = py::reinterpret_borrow<py::object>(value).attr("get_object")();
    if (!py::isinstance<py::list>(array)) return std::nullopt;
    std::vector<double> numbers;
    for (py::handle item : array) numbers.push_back(real(item));
    return numbers;
}

std::vector<double> mapped_pairs(const Matrix& m, const std::vector<double>& flat) {
    std::vector<double> out;
    for (size_t i = 0; i + 1 < flat.size(); i += 2) {
        Point p = m.apply({flat[i], flat[i + 1]});
        out.push_back(p.x);
        out.push_back(p.y);
    }
    return out;
}

// Every coordinate entry of an annotation (its own copy) mapped through `m`.
void map_coordinates(py::object copy, const Matrix& m) {
    if (auto rect = numbers_of(copy["/Rect"]); rect && rect->size() == 4) {
        Box mapped = map_box(m, box_from_corners((*rect)[0], (*rect)[1], (*rect)[2], (*rect)[3]));
        copy[name("/Rect")] =
            float_array({mapped.left, mapped.bottom, mapped.left + mapped.width, mapped.bottom + mapped.height});
    }
    for (const char* key : {"/QuadPoints", "/Vertices", "/L", "/CL"}) {
        if (!copy.contains(key)) continue;
        if (auto flat = numbers_of(copy[key])) copy[name(key)] = float_array(mapped_pairs(m, *flat));
    }
    if (copy.contains("/InkList")) {
        py::list strokes;
        for (py::handle stroke : copy["/InkList"].attr("get_object")()) {
            if (auto flat = numbers_of(stroke)) strokes.append(float_array(mapped_pairs(m, *flat)));
        }
        copy[name("/InkList")] = pdf_name("ArrayObject")(strokes);
    }
    if (copy.contains("/RD")) {
        // Distances inside the rectangle: they scale; a turn would only
        // swap sides, which viewers tolerate.
        if (auto inset = numbers_of(copy["/RD"])) {
            for (double& value : *inset) value *= m.scale();
            copy[name("/RD")] = float_array(*inset);
        }
    }
}

// Turns the appearance streams of a turned page's annotation, so that a
// viewer fitting them into the mapped /Rect shows them turned, not
// stretched.
void turn_appearances(py::object copy, const Matrix& turn, std::unordered_set<long>& turned) {
    if (!copy.contains("/AP")) return;
    py::object appearances = copy["/AP"].attr("get_object")();
    if (!py::isinstance<py::dict>(appearances)) return;
    for (const char* kind : {"/N", "/R", "/D"}) {
        if (!appearances.contains(kind)) continue;
        py::object entry = appearances.attr("raw_get")(kind);
        py::object states = entry.attr("get_object")();
        std::vector<py::object> streams;
        if (py::isinstance(states, pdf_name("StreamObject"))) {
            streams.push_back(entry);
        } else if (py::isinstance<py::dict>(states)) {
            for (py::handle state : states.attr("values")()) streams.push_back(py::reinterpret_borrow<py::object>(state));
        }
        for (py::object& raw : streams) {
            py::object stream = raw.attr("get_object")();
            if (!py::isinstance(stream, pdf_name("StreamObject"))) continue;
            py::object reference = py::getattr(stream, "indirect_reference", py::none());
            if (!reference.is_none() && !turned.insert(object_number(reference)).second) continue;
            Matrix old{1, 0, 0, 1, 0, 0};
            if (auto values = numbers_of(stream.attr("get")("/Matrix", pdf_name("ArrayObject")()));
                values && values->size() == 6) {
                const auto& v = *values;
                old = {v[0], v[1], v[2], v[3], v[4], v[5]};
            }
            Matrix m = compose(old, turn);
            stream[name("/Matrix")] = float_array({m.a, m.b, m.c, m.d, m.e, m.f});
        }
    }
}

// Entries that point at other objects of the source (its pages, form
// fields, other annotations) are not cloned: following them would copy
// whole pages into the output. Partners are relinked below, links resolved
// by the LinkBook. The numbers limit each name to the annotation itself.
py::list unfollowed_keys() {
    py::list keys;
    for (const char* key : {"/P", "/Parent", "/Popup", "/IRT", "/Dest", "/A", "/StructParent"}) {
        keys.append(1);
        keys.append(key);
    }
    return keys;
}

}  // namespace

void LinkBook::placed(py::handle page, py::object sheet, const Matrix& placement, const Box& box) {
    py::object reference = page.attr("indirect_reference");
    if (reference.is_none()) return;
    placed_[object_number(reference)] = {std::move(sheet), placement, box};
}

void LinkBook::wait(py::object copy, py::object sheet_annots, py::object target, bool as_action) {
    waiting_.push_back({std::move(copy), std::move(sheet_annots), std::move(target), as_action});
}

const LinkBook::Placed* LinkBook::page_of(py::handle page_entry) {
    long number = -1;
    if (is_reference(page_entry)) {
        number = object_number(page_entry);
    } else if (py::isinstance<py::int_>(page_entry)) {
        // Some writers give a page index instead of a reference.
        long index = page_entry.cast<long>();
        py::object pages = reader_.attr("pages");
        if (index < 0 || index >= static_cast<long>(py::len(pages))) return nullptr;
        py::object reference = pages[py::int_(index)].attr("indirect_reference");
        if (reference.is_none()) return nullptr;
        number = object_number(reference);
    }
    auto found = placed_.find(number);
    return found == placed_.end() ? nullptr : &found->second;
}

py::object LinkBook::destination_array(py::handle target) {
    py::object destination = py::reinterpret_borrow<py::object>(target).attr("get_object")();
    py::object page_entry;
    ViewSpot spot;
    if (py::isinstance<py::list>(destination)) {
        if (py::len(destination) < 2) return py::none();
        page_entry = destination[py::int_(0)];
        spot.kind = frame::shown(destination[py::int_(1)]);
        for (size_t i = 2; i < py::len(destination); ++i) {
            py::object value = destination[py::int_(i)].attr("get_object")();
            bool is_number = py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value);
            spot.operands.push_back(is_number ? std::optional<double>(value.cast<double>()) : std::nullopt);
        }
    } else if (py::isinstance<py::str>(destination) || py::isinstance<py::bytes>(destination)) {
        if (named_.is_none()) named_ = reader_.attr("named_destinations");
        py::object named = named_.attr("get")(py::str(destination));
        if (named.is_none()) return py::none();
        page_entry = named.attr("get")("/Page");
        spot.kind = frame::shown(named.attr("get")("/Type"));
        for (const char* key : {"/Left", "/Bottom", "/Right", "/Top", "/Zoom"}) {
            if (!named.contains(key)) continue;
            std::string kind = spot.kind;
            // The operand order of each view type, as in an array.
            bool wanted = (kind == "/XYZ" && (std::string(key) == "/Left" || std::string(key) == "/Top")) ||
                          kind == "/FitR" || ((kind == "/FitH" || kind == "/FitBH") && std::string(key) == "/Top") ||
                          ((kind == "/FitV" || kind == "/FitBV") && std::string(key) == "/Left");
            if (!wanted) continue;
            py::object value = named[py::str(key)].attr("get_object")();
            bool is_number = py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value);
            spot.operands.push_back(is_number ? std::optional<double>(value.cast<double>()) : std::nullopt);
        }
    } else {
        return py::none();
    }
    const Placed* placed = page_of(page_entry);
    if (placed == nullptr || spot.kind.empty() || spot.kind[0] != '/') return py::none();
    spot.kind.erase(0, 1);
    std::optional<ViewSpot> on_sheet = spot_on_sheet(spot, placed->box, placed->placement);
    if (!on_sheet) return py::none();
    py::list items;
    items.append(placed->sheet.attr("indirect_reference"));
    items.append(name(("/" + on_sheet->kind).c_str()));
    for (const auto& value : on_sheet->operands) {
        items.append(value ? pdf_name("FloatObject")(*value) : pdf_name("NullObject")());
    }
    return pdf_name("ArrayObject")(items);
}

long LinkBook::resolve() {
    long removed = 0;
    for (Waiting& link : waiting_) {
        py::object destination = py::none();
        try {
            destination = destination_array(link.target);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
        }
        if (destination.is_none()) {
            py::object reference = link.copy.attr("indirect_reference");
            if (link.sheet_annots.contains(reference)) {  // a link with both /Dest and /A waits twice
                link.sheet_annots.attr("remove")(reference);
                ++removed;
            }
            continue;
        }
        if (link.as_action) {
            py::object action = pdf_name("DictionaryObject")();
            action[name("/S")] = name("/GoTo");
            action[name("/D")] = destination;
            link.copy[name("/A")] = action;
        } else {
            link.copy[name("/Dest")] = destination;
        }
    }
    waiting_.clear();
    return removed;
}

void copy_annotations(py::handle writer, py::handle page, const Box& box, const Matrix& placement, py::object sheet,
                      py::object sheet_annots, LinkBook& links, std::unordered_set<long>& turned_appearances,
                      const std::string& where) {
    py::object entries = page.attr("get")("/Annots");
    if (entries.is_none()) return;
    entries = entries.attr("get_object")();
    if (!py::isinstance<py::list>(entries)) return;
    const Matrix turn = placement.turn_only();
    const bool turned = !(turn.a == 1 && turn.d == 1);
    std::unordered_map<long, py::object> copies;  // by the source annotation's object number
    std::vector<std::pair<py::object, py::object>> kept;  // source, copy
    py::list skip = unfollowed_keys();
    for (py::handle entry : entries) {
        try {
            py::object annotation = entry.attr("get_object")();
            if (!py::isinstance<py::dict>(annotation) || !annotation.contains("/Rect")) continue;
            auto rect = numbers_of(annotation["/Rect"]);
            if (!rect || rect->size() != 4) continue;
            if (!touches(box_from_corners((*rect)[0], (*rect)[1], (*rect)[2], (*rect)[3]), box)) continue;
            if (is_reference(entry) && copies.count(object_number(entry))) continue;  // listed twice

            py::object copy = annotation.attr("clone")(writer, py::arg("force_duplicate") = true,
                                                      py::arg("ignore_fields") = skip);
            py::object reference = py::getattr(copy, "indirect_reference", py::none());
            if (reference.is_none()) reference = writer.attr("_add_object")(copy);
            map_coordinates(copy, placement);
            if (turned) turn_appearances(copy, turn, turned_appearances);
            copy[name("/P")] = sheet.attr("indirect_reference");

            if (annotation.contains("/Dest")) {
                links.wait(copy, sheet_annots, annotation.attr("raw_get")("/Dest"), false);
            }
            if (annotation.contains("/A")) {
                py::object action = annotation["/A"].attr("get_object")();
                if (py::isinstance<py::dict>(action) && frame::shown(action.attr("get")("/S")) == "/GoTo" &&
                    action.contains("/D")) {
                    links.wait(copy, sheet_annots, action.attr("raw_get")("/D"), true);
                } else if (py::isinstance<py::dict>(action)) {
                    // Web links and other actions stay; a chain of further
                    // actions could lead into the source's pages.
                    py::list next;
                    next.append("/Next");
                    copy[name("/A")] = action.attr("clone")(writer, py::arg("ignore_fields") = next);
                }
            }
            sheet_annots.attr("append")(reference);
            if (is_reference(entry)) copies[object_number(entry)] = copy;
            kept.emplace_back(annotation, copy);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) throw;
            state().log.warning(where + ": an annotation that cannot be read was left out (" +
                                frame::shown(error.value()) + ")");
        }
    }
    // Popups and their parents, replies and what they reply to.
    for (auto& [annotation, copy] : kept) {
        for (const char* key : {"/Popup", "/Parent", "/IRT"}) {
            if (!annotation.contains(key)) continue;
            py::object partner = annotation.attr("raw_get")(key);
            if (!is_reference(partner)) continue;
            auto found = copies.find(object_number(partner));
            if (found != copies.end()) copy[name(key)] = found->second.attr("indirect_reference");
        }
    }
}

}  // namespace velkit::sheet_tile
