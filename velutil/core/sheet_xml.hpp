// Reading the XML parts of an .xlsx/.xlsm workbook as a stream: the parts
// arrive in chunks (from the zip archive) and are parsed by expat; only the
// cells of the wanted columns are kept, so that memory follows the cells
// read, not the sheet's used range (a stray value at XFD1048576 costs
// nothing). Malformed XML raises XmlError.
#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml_stream.hpp"

namespace velutil {

// "A12" as zero-based column and one-based row; nothing when malformed.
struct CellPosition {
    int column;
    int row;
};
std::optional<CellPosition> parse_cell_position(std::string_view text);

// One cell of a wanted column, as the sheet stores it. Texts have their
// "_xHHHH_" escapes decoded; an inline string's text wins over a <v>.
struct SheetCell {
    enum class Type { kNumber, kShared, kText, kBool, kError, kIsoDate };
    int row;
    int column;
    Type type;
    std::string value;  // the number's text, the shared string's index, the text ...
    int style;          // index into the cell formats, -1 when none
    bool formula = false;  // a formula stands in the cell (its value may be missing)
};

// The cells of a worksheet part in the wanted columns, from `first_row` on.
// A formula cell without a saved value is kept (value empty, `formula` set)
// so that a caller can say why the cell is empty.
class SheetCellReader : private XmlHandler {
public:
    SheetCellReader(std::vector<int> columns, int first_row);
    void feed(std::string_view chunk) { xml_.feed(chunk); }
    void finish() { xml_.finish(); }
    const std::vector<SheetCell>& cells() const { return cells_; }
    std::vector<SheetCell>& cells() { return cells_; }

private:
    void start(std::string_view name, const XmlAttributes& attributes) override;
    void end(std::string_view name) override;
    void text(std::string_view text) override;

    XmlStream xml_{*this};
    std::vector<bool> wanted_;
    int first_row_;
    std::vector<SheetCell> cells_;
    int row_ = 0;
    int column_ = -1;
    bool keep_ = false;
    bool in_value_ = false;
    bool in_text_ = false;
    bool has_inline_ = false;
    int phonetic_depth_ = 0;
    SheetCell cell_{};
    std::string inline_text_;
};

// The shared strings with the wanted indices, from the sharedStrings part.
class SharedStringReader : private XmlHandler {
public:
    explicit SharedStringReader(std::vector<size_t> wanted);
    void feed(std::string_view chunk) { xml_.feed(chunk); }
    void finish() { xml_.finish(); }
    const std::unordered_map<size_t, std::string>& strings() const { return strings_; }

private:
    void start(std::string_view name, const XmlAttributes& attributes) override;
    void end(std::string_view name) override;
    void text(std::string_view text) override;

    XmlStream xml_{*this};
    std::vector<size_t> wanted_;  // sorted
    std::unordered_map<size_t, std::string> strings_;
    size_t index_ = 0;
    bool in_item_ = false;
    bool in_text_ = false;
    int phonetic_depth_ = 0;
    std::string text_;
};

// For each cell format (cellXfs) of a styles part: does it show a date?
std::vector<bool> date_styles(std::string_view styles_xml);

// What each cell format does to a number: show a date, pad it with zeros
// to a width ("0000000000" shows 45001234 as 0045001234), or neither.
struct CellFormat {
    bool date = false;
    int zero_width = 0;
};
std::vector<CellFormat> cell_formats(std::string_view styles_xml);

// The digits of a format code made of zeros only ("00000" -> 5), else 0.
int zero_padding_width(std::string_view code);

// A number format code that shows a date or time ("yyyy-mm-dd", "d.m.yy h:mm").
bool is_date_format(std::string_view code);

// The sheets a workbook part lists, in order, and its date system.
struct WorkbookSheet {
    std::string name;
    std::string relation;  // r:id
    bool visible;
};
struct WorkbookInfo {
    std::vector<WorkbookSheet> sheets;
    bool date1904 = false;
};
WorkbookInfo parse_workbook(std::string_view workbook_xml);

// Relationship id -> (type, target) of a .rels part.
struct Relationship {
    std::string type;
    std::string target;
};
std::map<std::string, Relationship> parse_relationships(std::string_view rels_xml);

// The part name a relationship target of xl/workbook.xml points to
// ("worksheets/sheet1.xml" -> "xl/worksheets/sheet1.xml").
std::string workbook_part(std::string_view target);

}  // namespace velutil
