#include "sheets.hpp"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>

#include "pdf_objects.hpp"

namespace velkit::sheet_tile {

Sheets::Sheets(QPDF& report, double width, double height) : report_(report), width_(width), height_(height) {}

void Sheets::start() {
    QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
    page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    page.replaceKey("/MediaBox", box_array({0, 0, width_, height_}));
    sheets_.push_back({report_.makeIndirectObject(page), {}, {}, {}});
}

void Sheets::place(QPDFObjectHandle form, const Matrix& placement) {
    std::string name = "P" + std::to_string(form_count_++);
    sheets_.back().forms.emplace_back("/" + name, form);
    draw(placement_content(placement, name));
}

void Sheets::draw(const std::string& operators) {
    std::string& content = sheets_.back().content;
    content += operators;
    if (!content.empty() && content.back() != '\n') content += '\n';
}

void Sheets::annotate(QPDFObjectHandle annotation) { sheets_.back().annotations.push_back(annotation); }

void Sheets::remove_annotations(const std::set<QPDFObjGen>& annotations) {
    if (annotations.empty()) return;
    for (Sheet& sheet : sheets_) {
        auto& list = sheet.annotations;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](QPDFObjectHandle& item) { return annotations.count(item.getObjGen()) > 0; }),
                   list.end());
    }
}

Sheets::Mark Sheets::mark() const {
    if (sheets_.empty()) return {0, 0, 0, 0};
    const Sheet& last = sheets_.back();
    return {sheets_.size(), last.content.size(), last.forms.size(), last.annotations.size()};
}

void Sheets::rollback(const Mark& mark) {
    // Sheets started since the mark hold nothing else; their page objects
    // stay unreferenced, and the writer leaves them out.
    sheets_.resize(mark.sheets);
    if (sheets_.empty()) return;
    Sheet& last = sheets_.back();
    last.content.resize(mark.content);
    last.forms.resize(mark.forms);
    last.annotations.resize(mark.annotations);
}

void Sheets::finish_all() {
    QPDFPageDocumentHelper pages(report_);
    for (Sheet& sheet : sheets_) {
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        if (!sheet.forms.empty()) {
            QPDFObjectHandle forms = QPDFObjectHandle::newDictionary();
            for (auto& [name, form] : sheet.forms) forms.replaceKey(name, form);
            resources.replaceKey("/XObject", forms);
        }
        sheet.page.replaceKey("/Resources", resources);
        if (!sheet.content.empty()) sheet.page.replaceKey("/Contents", report_.newStream(sheet.content));
        if (!sheet.annotations.empty()) {
            QPDFObjectHandle annots = QPDFObjectHandle::newArray();
            for (QPDFObjectHandle& annotation : sheet.annotations) annots.appendItem(annotation);
            sheet.page.replaceKey("/Annots", annots);
        }
        pages.addPage(QPDFPageObjectHelper(sheet.page), false);
    }
    sheets_.clear();
}

}  // namespace velkit::sheet_tile
