#include "annotations.hpp"

#include <cmath>

#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "destination.hpp"
#include "free_text.hpp"
#include "page_box.hpp"
#include "pdf_objects.hpp"

namespace velkit::sheet_tile {

namespace {

std::vector<double> mapped_pairs(const Matrix& m, const std::vector<double>& flat) {
    std::vector<double> out;
    for (size_t i = 0; i + 1 < flat.size(); i += 2) {
        Point p = m.apply({flat[i], flat[i + 1]});
        out.push_back(p.x);
        out.push_back(p.y);
    }
    return out;
}

std::vector<double> scaled(std::vector<double> values, double factor) {
    for (double& value : values) value *= factor;
    return values;
}

// Every coordinate entry of an annotation (its own copy) mapped through `m`.
void map_coordinates(QPDFObjectHandle copy, const Matrix& m) {
    if (auto rect = box_of(copy.getKey("/Rect"))) copy.replaceKey("/Rect", box_array(map_box(m, *rect)));
    for (const char* key : {"/QuadPoints", "/Vertices", "/L", "/CL"}) {
        if (auto flat = numbers_of(copy.getKey(key))) copy.replaceKey(key, real_array(mapped_pairs(m, *flat)));
    }
    QPDFObjectHandle ink = copy.getKey("/InkList");
    if (ink.isArray()) {
        QPDFObjectHandle strokes = QPDFObjectHandle::newArray();
        for (QPDFObjectHandle stroke : ink.aitems()) {
            if (auto flat = numbers_of(stroke)) strokes.appendItem(real_array(mapped_pairs(m, *flat)));
        }
        copy.replaceKey("/InkList", strokes);
    }
    // Distances inside the rectangle: they scale; a turn would only swap
    // sides, which viewers tolerate.
    if (auto inset = numbers_of(copy.getKey("/RD"))) copy.replaceKey("/RD", real_array(scaled(*inset, m.scale())));
}

// Border widths and dashes, and a free-text note's font size, scale with
// the page (LaTeX's 1-point link boxes would otherwise become bars on a
// small cell).
void scale_lines(QPDFObjectHandle copy, double factor) {
    if (auto border = numbers_of(copy.getKey("/Border")); border && border->size() >= 3) {
        QPDFObjectHandle scaled_border = real_array(scaled(*border, factor));
        QPDFObjectHandle old = copy.getKey("/Border");
        if (old.getArrayNItems() > 3) {
            if (auto dash = numbers_of(old.getArrayItem(3))) scaled_border.appendItem(real_array(scaled(*dash, factor)));
        }
        copy.replaceKey("/Border", scaled_border);
    }
    QPDFObjectHandle style = copy.getKey("/BS");
    if (style.isDictionary()) {
        style = style.shallowCopy();
        if (style.getKey("/W").isNumber()) {
            style.replaceKey("/W", QPDFObjectHandle::newReal(style.getKey("/W").getNumericValue() * factor, 5, true));
        }
        if (auto dash = numbers_of(style.getKey("/D"))) style.replaceKey("/D", real_array(scaled(*dash, factor)));
        copy.replaceKey("/BS", style);
    }
    QPDFObjectHandle appearance = copy.getKey("/DA");
    if (appearance.isString()) {
        copy.replaceKey("/DA", QPDFObjectHandle::newString(scaled_appearance(appearance.getStringValue(), factor)));
    }
}

double border_width(QPDFObjectHandle annotation) {
    QPDFObjectHandle style = annotation.getKey("/BS");
    if (style.isDictionary() && style.getKey("/W").isNumber()) return style.getKey("/W").getNumericValue();
    if (auto border = numbers_of(annotation.getKey("/Border")); border && border->size() >= 3) return (*border)[2];
    return 1;
}

// A free-text note without an appearance of its own gets one, made in the
// note's own units before it is mapped, so that it turns and scales with
// its page like every drawn annotation. Viewers would draw it upright and
// in its unscaled size.
void give_free_text_appearance(QPDF& report, QPDFObjectHandle copy) {
    if (!copy.getKey("/Subtype").isNameAndEquals("/FreeText")) return;
    if (copy.getKey("/AP").getKeyIfDict("/N").isStream()) return;
    auto rect = box_of(copy.getKey("/Rect"));
    if (!rect || is_empty(*rect)) return;
    QPDFObjectHandle text = copy.getKey("/Contents");
    QPDFObjectHandle appearance = copy.getKey("/DA");
    TextStyle style = style_of(appearance.isString() ? appearance.getStringValue() : "");
    std::string content = free_text_content(single_byte_text(text.isString() ? text.getUTF8Value() : ""),
                                            rect->width, rect->height, style, border_width(copy));
    QPDFObjectHandle font = QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
    fonts.replaceKey("/F1", font);
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/Font", fonts);
    QPDFObjectHandle stream = report.newStream(content);
    QPDFObjectHandle dict = stream.getDict();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    dict.replaceKey("/BBox", real_array({0, 0, rect->width, rect->height}));
    dict.replaceKey("/Matrix", real_array({1, 0, 0, 1, -rect->left, -rect->bottom}));
    dict.replaceKey("/Resources", resources);
    QPDFObjectHandle appearances = QPDFObjectHandle::newDictionary();
    appearances.replaceKey("/N", stream);
    copy.replaceKey("/AP", appearances);
}

// Turns the appearance streams of a turned page's annotation, so that a
// viewer fitting them into the mapped /Rect shows them turned, not
// stretched. An appearance may be shared with annotations of pages turned
// otherwise or not at all: this one gets a turned copy of it.
void turn_appearances(QPDF& report, QPDFObjectHandle copy, const Matrix& turn, TurnedAppearances& turned) {
    QPDFObjectHandle appearances = copy.getKey("/AP");
    if (!appearances.isDictionary()) return;
    auto turned_copy = [&](QPDFObjectHandle stream) {
        auto key = std::make_tuple(stream.getObjGen(), std::lround(turn.a), std::lround(turn.b));
        auto found = turned.find(key);
        if (found != turned.end()) return found->second;
        QPDFObjectHandle made = stream.copyStream();
        if (!made.isIndirect()) made = report.makeIndirectObject(made);
        QPDFObjectHandle dict = made.getDict();
        dict.replaceKey("/Matrix", matrix_array(compose(matrix_of(dict.getKey("/Matrix")), turn)));
        return turned[key] = made;
    };
    appearances = appearances.shallowCopy();
    for (const char* kind : {"/N", "/R", "/D"}) {
        QPDFObjectHandle entry = appearances.getKey(kind);
        if (entry.isStream()) {
            appearances.replaceKey(kind, turned_copy(entry));
        } else if (entry.isDictionary()) {
            QPDFObjectHandle states = entry.shallowCopy();
            for (auto& [state, stream] : entry.ditems()) {
                if (stream.isStream()) states.replaceKey(state, turned_copy(stream));
            }
            appearances.replaceKey(kind, states);
        }
    }
    copy.replaceKey("/AP", appearances);
}

// A note flagged NoRotate stays upright when its page turns, pivoting on
// the upper-left corner of its rectangle: it keeps its width and height
// (scaled) and hangs from where that corner lands.
bool stays_upright(QPDFObjectHandle annotation) {
    constexpr long long kNoRotate = 1 << 4;
    QPDFObjectHandle flags = annotation.getKey("/F");
    return flags.isInteger() && (flags.getIntValue() & kNoRotate) != 0;
}

void hang_upright(QPDFObjectHandle copy, const Box& rect, const Matrix& placement) {
    Point corner = placement.apply({rect.left, rect.bottom + rect.height});
    double width = rect.width * placement.scale(), height = rect.height * placement.scale();
    copy.replaceKey("/Rect", box_array({corner.x, corner.y - height, width, height}));
}

std::string subtype_of(QPDFObjectHandle annotation) {
    QPDFObjectHandle subtype = annotation.getKey("/Subtype");
    return subtype.isName() ? subtype.getName().substr(1) : "";
}

// Why a viewer would not draw `annotation` on the shown part of its page,
// or nothing when it would.
std::optional<std::string> why_left_out(QPDFObjectHandle annotation, const Box& shown) {
    auto rect = box_of(annotation.getKey("/Rect"));
    if (!rect) return std::string("it has no readable /Rect");
    auto quads = numbers_of(annotation.getKey("/QuadPoints"));
    if (!drawn_on(subtype_of(annotation), *rect, quads ? *quads : std::vector<double>{}, shown)) {
        return std::string("it lies outside the page");
    }
    return std::nullopt;
}

QPDFObjectHandle copy_of(QPDF& report, QPDFObjectHandle annotation, std::set<QPDFObjGen>& copied) {
    // qpdf copies indirect objects only; a direct annotation becomes one in
    // its source first.
    if (!annotation.isIndirect()) annotation = annotation.getQPDF().makeIndirectObject(annotation);
    QPDFObjectHandle copy = report.copyForeignObject(annotation);
    // The same annotation listed twice (or on two pages) is copied once by
    // qpdf; its second placement needs its own object.
    if (!copied.insert(annotation.getObjGen()).second) copy = report.makeIndirectObject(copy.shallowCopy());
    return copy;
}

}  // namespace

LinkBook::LinkBook(QPDF& source) : source_(source) {
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(source).getAllPages()) {
        pages_.push_back(page.getObjectHandle().getObjGen());
    }
}

void LinkBook::placed(QPDFObjGen page, QPDFObjectHandle sheet, const Matrix& placement, const Box& box) {
    placed_[page] = {sheet, placement, box};
}

void LinkBook::wait(QPDFObjectHandle copy, QPDFObjectHandle target, bool as_action) {
    waiting_.push_back({copy, target, as_action});
}

QPDFObjectHandle LinkBook::named(QPDFObjectHandle name) {
    std::string key;
    if (name.isName()) {
        key = name.getName().substr(1);
    } else if (name.isString()) {
        key = name.getUTF8Value();
    } else {
        return QPDFObjectHandle::newNull();
    }
    // Writers put a name where a string belongs and the other way round;
    // both places are searched, the one the type names first.
    QPDFObjectHandle root = source_.getRoot();
    QPDFObjectHandle from_catalog = root.getKeyIfDict("/Dests").getKeyIfDict("/" + key);
    QPDFObjectHandle from_tree = QPDFObjectHandle::newNull();
    QPDFObjectHandle tree = root.getKeyIfDict("/Names").getKeyIfDict("/Dests");
    if (tree.isDictionary()) {
        QPDFNameTreeObjectHelper names(tree, source_, false);
        QPDFObjectHandle found;
        if (names.findObject(key, found)) from_tree = found;
    }
    QPDFObjectHandle first = name.isName() ? from_catalog : from_tree;
    QPDFObjectHandle second = name.isName() ? from_tree : from_catalog;
    return first.isNull() ? second : first;
}

const LinkBook::Placed* LinkBook::page_of(QPDFObjectHandle page_entry) {
    QPDFObjGen id;
    if (page_entry.isIndirect()) {
        id = page_entry.getObjGen();
    } else if (page_entry.isInteger()) {
        // Some writers give a page index instead of a reference.
        long long index = page_entry.getIntValue();
        if (index < 0 || index >= static_cast<long long>(pages_.size())) return nullptr;
        id = pages_[static_cast<size_t>(index)];
    } else {
        return nullptr;
    }
    auto found = placed_.find(id);
    return found == placed_.end() ? nullptr : &found->second;
}

QPDFObjectHandle LinkBook::on_sheet(QPDFObjectHandle target) {
    QPDFObjectHandle none = QPDFObjectHandle::newNull();
    QPDFObjectHandle destination = target;
    // A name leads to an array or to a dictionary holding it under /D.
    for (int step = 0; step < 3 && !destination.isArray(); ++step) {
        if (destination.isName() || destination.isString()) {
            destination = named(destination);
        } else if (destination.isDictionary()) {
            destination = destination.getKey("/D");
        } else {
            return none;
        }
    }
    if (!destination.isArray() || destination.getArrayNItems() < 2) return none;
    const Placed* placed = page_of(destination.getArrayItem(0));
    QPDFObjectHandle kind = destination.getArrayItem(1);
    if (placed == nullptr || !kind.isName()) return none;
    ViewSpot spot{kind.getName().substr(1), {}};
    for (int i = 2; i < destination.getArrayNItems(); ++i) {
        QPDFObjectHandle value = destination.getArrayItem(i);
        spot.operands.push_back(value.isNumber() ? std::optional<double>(value.getNumericValue()) : std::nullopt);
    }
    std::optional<ViewSpot> mapped = spot_on_sheet(spot, placed->box, placed->placement);
    if (!mapped) return none;
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    array.appendItem(placed->sheet);
    array.appendItem(QPDFObjectHandle::newName("/" + mapped->kind));
    for (const auto& value : mapped->operands) {
        array.appendItem(value ? QPDFObjectHandle::newReal(*value, 5, true) : QPDFObjectHandle::newNull());
    }
    return array;
}

std::set<QPDFObjGen> LinkBook::resolve() {
    std::set<QPDFObjGen> removed;
    for (Waiting& link : waiting_) {
        QPDFObjectHandle destination = on_sheet(link.target);
        if (destination.isNull()) {
            removed.insert(link.copy.getObjGen());
            continue;
        }
        if (link.as_action) {
            QPDFObjectHandle action = QPDFObjectHandle::newDictionary();
            action.replaceKey("/S", QPDFObjectHandle::newName("/GoTo"));
            action.replaceKey("/D", destination);
            link.copy.replaceKey("/A", action);
        } else {
            link.copy.replaceKey("/Dest", destination);
        }
    }
    waiting_.clear();
    return removed;
}

namespace {
void copy_annotation(PageOnSheet& on_sheet, QPDFObjectHandle annotation, const Matrix* turn);
}

void copy_annotations(PageOnSheet& on_sheet) {
    QPDFObjectHandle entries = on_sheet.page.getObjectHandle().getKey("/Annots");
    if (!entries.isArray()) return;
    const Matrix& placement = on_sheet.placement;
    const Matrix turn = placement.turn_only();
    const bool turned = !(turn.a == 1 && turn.d == 1);
    // Decided first, so that a popup can follow its parent wherever it is
    // listed.
    std::set<QPDFObjGen> kept_ids;
    std::vector<QPDFObjectHandle> kept, popups;
    for (QPDFObjectHandle annotation : entries.aitems()) {
        if (!annotation.isDictionary()) continue;
        if (subtype_of(annotation) == "Popup") {
            popups.push_back(annotation);
            continue;
        }
        if (auto why = why_left_out(annotation, on_sheet.shown)) {
            std::string subtype = subtype_of(annotation);
            on_sheet.left_out("a " + (subtype.empty() ? std::string("nameless") : subtype) +
                              " annotation was left out: " + *why);
            continue;
        }
        kept.push_back(annotation);
        kept_ids.insert(annotation.getObjGen());
    }
    for (QPDFObjectHandle& popup : popups) {
        // A popup opens beside its parent, often outside the page; it goes
        // where its parent goes.
        QPDFObjectHandle parent = popup.getKey("/Parent");
        bool with_parent = parent.isIndirect() && kept_ids.count(parent.getObjGen());
        if (with_parent || (!parent.isDictionary() && !why_left_out(popup, on_sheet.shown))) kept.push_back(popup);
    }
    for (QPDFObjectHandle& annotation : kept) {
        try {
            copy_annotation(on_sheet, annotation, turned ? &turn : nullptr);
        } catch (const std::exception& error) {
            on_sheet.left_out("an annotation that cannot be read was left out (" + std::string(error.what()) + ")");
        }
    }
}

namespace {

// One kept annotation onto the sheet; `turn` is the page's turn when it
// has one.
void copy_annotation(PageOnSheet& on_sheet, QPDFObjectHandle annotation, const Matrix* turn) {
        const Matrix& placement = on_sheet.placement;
        QPDFObjectHandle copy = copy_of(on_sheet.report, annotation, on_sheet.copied);
        give_free_text_appearance(on_sheet.report, copy);
        std::optional<Box> rect = box_of(copy.getKey("/Rect"));
        const bool upright = turn != nullptr && rect && stays_upright(copy);
        map_coordinates(copy, placement);
        scale_lines(copy, placement.scale());
        if (upright) {
            hang_upright(copy, *rect, placement);
        } else if (turn != nullptr) {
            turn_appearances(on_sheet.report, copy, *turn, on_sheet.turned_appearances);
        }
        copy.replaceKey("/P", on_sheet.sheets.current());
        QPDFObjectHandle action = annotation.getKey("/A");
        if (annotation.hasKey("/Dest")) {
            on_sheet.links.wait(copy, annotation.getKey("/Dest"), false);
        } else if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo") && action.hasKey("/D")) {
            on_sheet.links.wait(copy, action.getKey("/D"), true);
        } else if (action.isDictionary()) {
            // Web links and other actions stay; a chain of further actions
            // could lead into the source's pages.
            QPDFObjectHandle own = copy.getKey("/A");
            if (own.isDictionary() && own.hasKey("/Next")) {
                own = own.shallowCopy();
                own.removeKey("/Next");
                copy.replaceKey("/A", own);
            }
        }
        on_sheet.sheets.annotate(copy);
}

}  // namespace

}  // namespace velkit::sheet_tile
