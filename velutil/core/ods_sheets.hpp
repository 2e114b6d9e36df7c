// How far the sheets of an OpenDocument spreadsheet (.ods) reach, read from
// its content.xml as the part streams out of the archive.
//
// The reader these workbooks go to takes in every sheet when it opens the
// file and holds each one's used range whole. A row of empty cells repeated
// a million times costs a few bytes of XML; one value after it makes a
// range of billions of positions. The spans here follow what that reader
// keeps, so that span_problem (binary_sheets.hpp) can refuse such a sheet
// before it is read:
//  - a sheet is a table element with a name; its rows are the row elements
//    in it, each standing for as many rows as it repeats;
//  - a cell holds something when it has a value (a value attribute, or the
//    string type) or a formula; the cell counts as often as it repeats;
//  - empty cells and rows, however often repeated, widen the span only when
//    a cell that holds something follows them;
//  - repeats stop at the largest sheet (1048576 rows, 16384 columns);
//  - on the way the reader holds each row element's cells up to its last
//    cell element, empty ones between included (`buffered`): a row of
//    sixteen thousand empty cells closed by one more empty cell costs as
//    much as a row of values.
// Malformed XML raises XmlError.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "binary_sheets.hpp"
#include "xml_stream.hpp"

namespace velutil {

class OdsSpanReader : private XmlHandler {
public:
    void feed(std::string_view chunk) { xml_.feed(chunk); }
    void finish() { xml_.finish(); }
    // Each named sheet, in the order of the file.
    const std::vector<SheetSpan>& spans() const { return spans_; }

private:
    void start(std::string_view name, const XmlAttributes& attributes) override;
    void end(std::string_view name) override;
    void text(std::string_view) override {}
    void cell(const XmlAttributes& attributes);

    XmlStream xml_{*this};
    std::vector<SheetSpan> spans_;
    bool in_sheet_ = false;
    bool in_row_ = false;
    int skipped_depth_ = 0;      // inside a cell's content, which is not looked at
    uint64_t row_ = 0;           // rows of the sheet before the current row element
    uint64_t row_repeats_ = 0;   // rows the current row element stands for
    uint64_t row_cells_ = 0;     // cells of the row the reader holds so far
    uint64_t row_values_ = 0;    // of which hold something
    uint64_t pending_empty_ = 0; // empty cells since, held once another cell follows
};

// Whether the manifest marks a part as encrypted: then the reader refuses
// the workbook for its password, and the content is no more than noise.
class OdsManifestReader : private XmlHandler {
public:
    void feed(std::string_view chunk) { xml_.feed(chunk); }
    void finish() { xml_.finish(); }
    bool encrypted() const { return encrypted_; }

private:
    void start(std::string_view name, const XmlAttributes&) override;
    void end(std::string_view) override {}
    void text(std::string_view) override {}

    XmlStream xml_{*this};
    bool encrypted_ = false;
};

}  // namespace velutil
