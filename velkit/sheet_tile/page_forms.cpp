#include "page_forms.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/Constants.h>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cmath>

#include "pdf_objects.hpp"

namespace velkit::sheet_tile {

namespace {

bool is_widget(QPDFObjectHandle annotation) {
    return annotation.isDictionary() && annotation.getKey("/Subtype").isNameAndEquals("/Widget");
}

// The widgets' appearances drawn after the page's own content, which is
// wrapped in q ... Q so that a state it leaves behind does not move them.
void flatten_page(QPDF& source, QPDFPageObjectHelper& page) {
    QPDFObjectHandle page_object = page.getObjectHandle();
    QPDFObjectHandle annots = page_object.getKey("/Annots");
    if (!annots.isArray()) return;
    bool has_widget = false;
    for (QPDFObjectHandle annotation : annots.aitems()) has_widget = has_widget || is_widget(annotation);
    if (!has_widget) return;

    QPDFObjectHandle resources = page.getAttribute("/Resources", true);
    if (!resources.isDictionary()) {
        resources = QPDFObjectHandle::newDictionary();
        page_object.replaceKey("/Resources", resources);
    }
    QPDFObjectHandle forms = resources.getKey("/XObject");
    if (!forms.isDictionary()) {
        forms = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", forms);
    } else if (forms.isIndirect()) {
        // Other pages may share it.
        forms = forms.shallowCopy();
        resources.replaceKey("/XObject", forms);
    }
    const int rotate = static_cast<int>(rotate_entry(page));
    int suffix = 0;
    std::string drawn;
    QPDFObjectHandle kept = QPDFObjectHandle::newArray();
    for (QPDFObjectHandle annotation : annots.aitems()) {
        if (!is_widget(annotation)) {
            kept.appendItem(annotation);
            continue;
        }
        QPDFAnnotationObjectHelper widget(annotation);
        QPDFObjectHandle appearance = widget.getAppearanceStream("/N");
        if (!appearance.isStream()) continue;
        // qpdf draws a generated value through a filter applied when the
        // stream is read; a copy would take the bytes without it.
        std::shared_ptr<Buffer> drawn_value = appearance.getStreamData(qpdf_dl_generalized);
        appearance.replaceStreamData(std::string(reinterpret_cast<const char*>(drawn_value->getBuffer()),
                                                 drawn_value->getSize()),
                                     QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        std::string name = resources.getUniqueResourceName("/Fxo", suffix);
        std::string content = widget.getPageContentForAppearance(name, rotate, 0, an_invisible | an_hidden);
        if (content.empty()) continue;
        forms.replaceKey(name, appearance);
        drawn += content;
    }
    page_object.replaceKey("/Annots", kept);
    if (drawn.empty()) return;
    page.addPageContents(source.newStream("q\n"), true);
    page.addPageContents(source.newStream("\nQ\n" + drawn), false);
}

// qpdf copies indirect objects; a direct one is made indirect in its source
// first.
QPDFObjectHandle indirect(QPDFObjectHandle object) {
    return object.isIndirect() ? object : object.getQPDF().makeIndirectObject(object);
}

}  // namespace

void flatten_form_fields(QPDF& source) {
    QPDFAcroFormDocumentHelper fields(source);
    if (fields.hasAcroForm()) fields.generateAppearancesIfNeeded();
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(source).getAllPages()) flatten_page(source, page);
    source.getRoot().removeKey("/AcroForm");
}

double rotate_entry(QPDFPageObjectHelper& page) {
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    return rotate.isNumber() ? rotate.getNumericValue() : 0;
}

QPDFObjectHandle page_form(QPDF& report, QPDFPageObjectHelper& page, const Box& shown,
                           std::set<QPDFObjGen>& used_contents) {
    QPDFObjectHandle page_object = page.getObjectHandle();
    QPDFObjectHandle contents = page_object.getKey("/Contents");
    if (!contents.isStream() || !contents.isIndirect() || !used_contents.insert(contents.getObjGen()).second) {
        // Parts of a content stream (or one that another page draws too):
        // qpdf joins them into a new stream.
        QPDFObjectHandle form = page.getFormXObjectForPage(false);
        form.getDict().replaceKey("/BBox", box_array(shown));
        return report.copyForeignObject(form);
    }
    // A single content stream becomes the form as it is, still compressed:
    // nothing is decoded and compressed again.
    QPDFObjectHandle form = report.copyForeignObject(contents);
    QPDFObjectHandle dict = form.getDict();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    dict.replaceKey("/BBox", box_array(shown));
    dict.removeKey("/Matrix");
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    dict.replaceKey("/Resources", resources.isDictionary() ? report.copyForeignObject(indirect(resources))
                                                             : QPDFObjectHandle::newDictionary());
    QPDFObjectHandle group = page_object.getKey("/Group");
    if (group.isDictionary()) dict.replaceKey("/Group", report.copyForeignObject(indirect(group)));
    else dict.removeKey("/Group");
    return form;
}

}  // namespace velkit::sheet_tile
