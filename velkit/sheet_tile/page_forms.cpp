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

QPDFObjectHandle page_form(QPDF& report, QPDFPageObjectHelper& page, const Box& shown) {
    QPDFObjectHandle form = page.getFormXObjectForPage(false);
    form.getDict().replaceKey("/BBox", box_array(shown));
    return report.copyForeignObject(form);
}

}  // namespace velkit::sheet_tile
