// The optional-content groups (layers) of the sources, carried into the
// report with the state each had in its source's default view, so that
// content on a hidden layer stays hidden on the sheet and a viewer can
// still show it. The layer panel lists each source's layers under its file
// name, in the source's own order and nesting; radio-button groups, locked
// layers and the states for printing and viewing come along.
#pragma once
#include <qpdf/QPDF.hh>

#include <string>
#include <vector>

namespace velkit::sheet_tile {

class Layers {
public:
    // Copies the layers of `source` (after its pages were placed, so that
    // the groups their content names are the same objects in `report`);
    // `label` names the source in the layer panel.
    void carry(QPDF& source, QPDF& report, const std::string& label);

    // Writes the report's /OCProperties; nothing when no source had layers.
    void write(QPDF& report) const;

private:
    std::vector<QPDFObjectHandle> groups_;
    std::vector<QPDFObjectHandle> hidden_;
    std::vector<QPDFObjectHandle> order_;       // one labelled entry per source
    std::vector<QPDFObjectHandle> radio_groups_;
    std::vector<QPDFObjectHandle> locked_;
    std::vector<QPDFObjectHandle> auto_states_;  // /AS: states for printing, viewing, exporting
};

}  // namespace velkit::sheet_tile
