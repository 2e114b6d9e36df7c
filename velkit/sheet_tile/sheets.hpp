// The output sheets of one run, built in the report's qpdf document. A
// source page is drawn as a form XObject; the sheets become pages of the
// report only in `finish_all`, so that everything a file added can be taken
// out again (`rollback`) when the file fails part way.
#pragma once
#include <qpdf/QPDF.hh>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "geometry.hpp"

namespace velkit::sheet_tile {

class Sheets {
public:
    Sheets(QPDF& report, double width, double height);

    // Adds a new, empty sheet after the others; it is the current one.
    void start();
    bool started() const { return !sheets_.empty(); }
    size_t count() const { return sheets_.size(); }
    // The current sheet's page object (indirect, not yet in the page tree),
    // for destinations and annotations' /P.
    QPDFObjectHandle current() const { return sheets_.back().page; }

    // Draws the form XObject `form` (of the report) through `placement` on
    // the current sheet.
    void place(QPDFObjectHandle form, const Matrix& placement);
    // Adds content operators to the current sheet.
    void draw(const std::string& operators);
    // Puts an annotation (of the report, indirect) on the current sheet.
    void annotate(QPDFObjectHandle annotation);
    // Takes the annotations with these object ids off every sheet.
    void remove_annotations(const std::set<QPDFObjGen>& annotations);

    // Everything added since a mark can be taken out again.
    struct Mark {
        size_t sheets;
        size_t content;
        size_t forms;
        size_t annotations;
    };
    Mark mark() const;
    void rollback(const Mark& mark);

    // Makes every sheet a page of the report, in order.
    void finish_all();

private:
    struct Sheet {
        QPDFObjectHandle page;
        std::string content;
        std::vector<std::pair<std::string, QPDFObjectHandle>> forms;  // resource name, form XObject
        std::vector<QPDFObjectHandle> annotations;
    };
    QPDF& report_;
    double width_;
    double height_;
    std::vector<Sheet> sheets_;
    long form_count_ = 0;
};

}  // namespace velkit::sheet_tile
