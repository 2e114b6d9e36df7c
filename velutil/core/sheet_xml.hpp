// Reading the XML parts of an .xlsx/.xlsm workbook as a stream: the parts
// arrive in chunks (from the zip archive), and only the cells of the wanted
// columns are kept, so that memory follows the cells read, not the sheet's
// used range (a stray value at XFD1048576 costs nothing).
#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velutil {

// A pull tokenizer for XML arriving in chunks. Views in an event stay valid
// until the next `feed`.
class XmlPull {
public:
    enum class Kind { kStart, kEnd, kText };
    struct Event {
        Kind kind;
        std::string_view name;   // local name, without a namespace prefix
        std::string_view attrs;  // raw attribute text of a start tag
        bool self_closing = false;
        std::string text;  // decoded, for kText
    };

    void feed(std::string_view chunk);
    // No more input: what is left is text.
    void close() { closed_ = true; }
    // The next event; false when more input is needed or the input ended.
    bool next(Event& event);

    // The decoded value of attribute `name` (matched by local name).
    static std::optional<std::string> attribute(std::string_view attrs, std::string_view name);

private:
    std::string buffer_;
    size_t position_ = 0;
    bool closed_ = false;
};

// Text with the five named entities and numeric references decoded.
std::string decode_xml_text(std::string_view text);

// "A12" as zero-based column and one-based row; nothing when malformed.
struct CellPosition {
    int column;
    int row;
};
std::optional<CellPosition> parse_cell_position(std::string_view text);

// One cell of a wanted column, as the sheet stores it.
struct SheetCell {
    enum class Type { kNumber, kShared, kText, kBool, kError, kIsoDate };
    int row;
    int column;
    Type type;
    std::string value;  // the number's text, the shared string's index, the text ...
    int style;          // index into the cell formats, -1 when none
};

// The cells of a worksheet part in the wanted columns, from `first_row` on.
class SheetCellReader {
public:
    SheetCellReader(std::vector<int> columns, int first_row);
    void feed(std::string_view chunk);
    void finish();
    const std::vector<SheetCell>& cells() const { return cells_; }
    std::vector<SheetCell>& cells() { return cells_; }

private:
    void handle(const XmlPull::Event& event);

    XmlPull xml_;
    std::vector<bool> wanted_;
    int first_row_;
    std::vector<SheetCell> cells_;
    int row_ = 0;
    int column_ = -1;
    bool in_cell_ = false;
    bool keep_ = false;
    bool in_value_ = false;
    bool in_text_ = false;
    int phonetic_depth_ = 0;
    SheetCell cell_{};
    std::string inline_text_;
};

// The shared strings with the wanted indices, from the sharedStrings part.
class SharedStringReader {
public:
    explicit SharedStringReader(std::vector<size_t> wanted);
    void feed(std::string_view chunk);
    void finish();
    const std::unordered_map<size_t, std::string>& strings() const { return strings_; }

private:
    void handle(const XmlPull::Event& event);

    XmlPull xml_;
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
