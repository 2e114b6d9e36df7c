// A source page made ready to be drawn on a sheet: its form fields drawn
// into its content as a viewer shows them, and the page as a form XObject
// of the report.
#pragma once
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <set>

#include "geometry.hpp"

namespace velkit::sheet_tile {

// Draws every form field's widget of `source` into its page's content and
// takes the widget and the form away: the report shows the values but holds
// no fillable form. Where the source asks the viewer to draw the fields
// (/NeedAppearances), their appearances are made from their values first.
// Hidden and invisible widgets draw nothing, as in a viewer.
void flatten_form_fields(QPDF& source);

// The page's content as a form XObject of `report` showing `shown` (source
// user space) of it, with the page's resources and transparency group. A
// page with one content stream of its own keeps its compressed bytes;
// `used_contents` (per source) tells which streams already serve a page.
QPDFObjectHandle page_form(QPDF& report, QPDFPageObjectHelper& page, const Box& shown,
                           std::set<QPDFObjGen>& used_contents);

// The page's /Rotate entry (inherited from the page tree where needed), or
// 0 when it has none or it is no number.
double rotate_entry(QPDFPageObjectHelper& page);

}  // namespace velkit::sheet_tile
