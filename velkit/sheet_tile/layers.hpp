// The optional-content groups (layers) of the sources, carried into the
// report with the state each had in its source's default view, so that
// content on a hidden layer stays hidden on the sheet and a viewer can
// still show it.
#pragma once
#include <qpdf/QPDF.hh>

#include <vector>

namespace velkit::sheet_tile {

class Layers {
public:
    // Copies the layers of `source` (after its pages were placed, so that
    // the groups their content names are the same objects in `report`).
    void carry(QPDF& source, QPDF& report);

    // Writes the report's /OCProperties; nothing when no source had layers.
    void write(QPDF& report) const;

private:
    std::vector<QPDFObjectHandle> groups_;
    std::vector<QPDFObjectHandle> hidden_;
};

}  // namespace velkit::sheet_tile
