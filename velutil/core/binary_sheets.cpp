#include "binary_sheets.hpp"

#include <algorithm>
#include <stdexcept>

#include "cell_reference.hpp"
#include "csv_fields.hpp"
#include "text_kit.hpp"

namespace velutil {

namespace {

uint16_t u16(std::string_view data, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8);
}

uint32_t u32(std::string_view data, size_t at) {
    return static_cast<uint32_t>(u16(data, at)) | static_cast<uint32_t>(u16(data, at + 2)) << 16;
}

std::string utf16le_text(std::string_view bytes) {
    return decode_text(std::string(bytes), TextEncoding::kUtf16).text;
}

// BIFF8: a record is its type and length (two bytes each), then its data.
struct XlsRecord {
    uint16_t type;
    std::string_view data;
};

class XlsRecords {
public:
    explicit XlsRecords(std::string_view stream) : rest_(stream) {}

    bool next(XlsRecord& record) {
        if (rest_.empty()) return false;
        if (rest_.size() < 4) throw std::invalid_argument("a record of the workbook stream is cut short");
        uint16_t length = u16(rest_, 2);
        if (rest_.size() - 4 < length) throw std::invalid_argument("a record of the workbook stream is cut short");
        record = {u16(rest_, 0), rest_.substr(4, length)};
        rest_.remove_prefix(4 + size_t{length});
        return true;
    }

private:
    std::string_view rest_;
};

// A sheet name of the sheet record: a one-byte count, a flag, then the
// characters in one byte (Latin-1) or two (UTF-16); before BIFF8 no flag
// and the characters in the workbook's code page (most often Windows-1252).
std::string xls_sheet_name(std::string_view data, size_t index, bool biff5) {
    std::string fallback = "number " + std::to_string(index + 1);
    if (biff5 && data.size() >= 7 && data.size() - 7 >= static_cast<unsigned char>(data[6])) {
        return cp1252_to_utf8(data.substr(7, static_cast<unsigned char>(data[6])));
    }
    if (biff5 || data.size() < 8) return fallback;
    size_t count = static_cast<unsigned char>(data[6]);
    bool wide = (data[7] & 1) != 0;
    std::string_view chars = data.substr(8);
    if (chars.size() < count * (wide ? 2 : 1)) return fallback;
    if (wide) return utf16le_text(chars.substr(0, count * 2));
    std::string name;
    for (size_t i = 0; i < count; ++i) append_utf8(name, static_cast<unsigned char>(chars[i]));
    return name;
}

void read_xls_sheet(std::string_view records, SheetSpan& span) {
    XlsRecords walk(records);
    XlsRecord record{};
    while (walk.next(record)) {
        std::string_view data = record.data;
        switch (record.type) {
            case 0x000A:  // end of the sheet
                return;
            case 0x0200:  // the sheet's size: first row, row past the last, first column, column past the last
                if (data.size() == 14 || data.size() == 10) {
                    bool wide = data.size() == 14;
                    uint64_t first_row = wide ? u32(data, 0) : u16(data, 0);
                    uint64_t past_row = wide ? u32(data, 4) : u16(data, 2);
                    uint64_t first_column = u16(data, wide ? 8 : 4);
                    uint64_t past_column = u16(data, wide ? 10 : 6);
                    span.declared_rows = past_row > first_row ? past_row - first_row : 0;
                    span.declared_columns = past_column > first_column ? past_column - first_column : 0;
                }
                break;
            case 0x0203:  // number
            case 0x0204:  // text
            case 0x00D6:  // formatted text
            case 0x0205:  // true, false or an error
            case 0x027E:  // packed number
            case 0x00FD:  // shared text
            case 0x0006:  // formula (its result, and the formula text)
                if (data.size() < 4) throw std::invalid_argument("a cell record is cut short");
                span.add(u16(data, 0), u16(data, 2));
                break;
            case 0x00BD: {  // a row of packed numbers: row, first column, 6 bytes each, last column
                if (data.size() < 6) throw std::invalid_argument("a cell record is cut short");
                uint16_t first = u16(data, 2);
                uint16_t last = u16(data, data.size() - 2);
                if (last < first || data.size() != 6 + 6 * (size_t{last} - first + 1u)) {
                    throw std::invalid_argument("a row of numbers does not match its columns");
                }
                span.add(u16(data, 0), first, last - first + 1u);
                span.add(u16(data, 0), last, 0);
                break;
            }
            default:
                break;
        }
    }
}

// BIFF12: type and size are 7-bit groups, low first, the high bit saying
// another follows (at most two groups for the type, four for the size).
struct XlsbRecord {
    uint32_t type;
    std::string_view data;
};

class XlsbRecords {
public:
    explicit XlsbRecords(std::string_view part) : rest_(part) {}

    bool next(XlsbRecord& record) {
        if (rest_.empty()) return false;
        uint32_t type = groups(2);
        uint32_t size = groups(4);
        if (rest_.size() < size) throw std::invalid_argument("a record of the sheet is cut short");
        record = {type, rest_.substr(0, size)};
        rest_.remove_prefix(size);
        return true;
    }

private:
    uint32_t groups(int most) {
        uint32_t value = 0;
        for (int i = 0; i < most; ++i) {
            if (rest_.empty()) throw std::invalid_argument("a record of the sheet is cut short");
            auto byte = static_cast<unsigned char>(rest_[0]);
            rest_.remove_prefix(1);
            value |= static_cast<uint32_t>(byte & 0x7F) << (7 * i);
            if ((byte & 0x80) == 0) break;
        }
        return value;
    }

    std::string_view rest_;
};

// A count of UTF-16 characters (four bytes), then the characters; the
// count 0xFFFFFFFF means none.
std::optional<std::string> wide_string(std::string_view data, size_t& at) {
    if (data.size() < at + 4) return std::nullopt;
    uint32_t count = u32(data, at);
    at += 4;
    if (count == 0xFFFFFFFF) return std::string();
    if ((data.size() - at) / 2 < count) return std::nullopt;
    std::string text = utf16le_text(data.substr(at, size_t{count} * 2));
    at += size_t{count} * 2;
    return text;
}

std::string cell_name(uint32_t row, uint32_t column) {
    if (column >= static_cast<uint32_t>(kMaxColumns)) return "row " + std::to_string(uint64_t{row} + 1) + ", column " + std::to_string(uint64_t{column} + 1);
    return column_letters(static_cast<int>(column)) + std::to_string(uint64_t{row} + 1);
}

}  // namespace

void SheetSpan::add(uint32_t row, uint32_t column, uint64_t count) {
    if (!any) {
        first_row = last_row = row;
        first_column = last_column = column;
        any = true;
    }
    first_row = std::min(first_row, row);
    last_row = std::max(last_row, row);
    first_column = std::min(first_column, column);
    last_column = std::max(last_column, column);
    cells += count;
}

std::vector<SheetSpan> xls_sheet_spans(std::string_view stream) {
    // The workbook's own records come first, up to their end record; each
    // sheet record there gives the offset of that sheet's records.
    std::vector<SheetSpan> spans;
    std::vector<uint32_t> offsets;
    XlsRecords walk(stream);
    XlsRecord record{};
    bool biff5 = false;
    while (walk.next(record)) {
        if (record.type == 0x000A) break;
        if (record.type == 0x0809 && record.data.size() >= 2) biff5 = u16(record.data, 0) == 0x0500;
        // Encrypted: the reader refuses the workbook, and its records are
        // no more than noise to us.
        if (record.type == 0x002F && record.data.size() >= 2 && u16(record.data, 0) != 0) return {};
        if (record.type != 0x0085) continue;
        if (record.data.size() < 6) throw std::invalid_argument("a sheet record is cut short");
        offsets.push_back(u32(record.data, 0));
        spans.push_back({});
        spans.back().name = xls_sheet_name(record.data, spans.size() - 1, biff5);
    }
    for (size_t i = 0; i < spans.size(); ++i) {
        if (offsets[i] > stream.size()) throw std::invalid_argument("a sheet lies beyond the end of the workbook stream");
        read_xls_sheet(stream.substr(offsets[i]), spans[i]);
    }
    return spans;
}

std::vector<BinarySheetEntry> xlsb_sheet_entries(std::string_view workbook_part) {
    std::vector<BinarySheetEntry> entries;
    XlsbRecords walk(workbook_part);
    XlsbRecord record{};
    while (walk.next(record)) {
        if (record.type != 0x009C) continue;  // a sheet: state, sheet id, relationship id, name
        size_t at = 8;
        auto relation = wide_string(record.data, at);
        auto name = relation ? wide_string(record.data, at) : std::nullopt;
        if (!name) throw std::invalid_argument("a sheet record of the workbook is cut short");
        entries.push_back({*name, *relation});
    }
    return entries;
}

SheetSpan xlsb_sheet_span(std::string_view sheet_part) {
    SheetSpan span;
    XlsbRecords walk(sheet_part);
    XlsbRecord record{};
    uint32_t row = 0;
    while (walk.next(record)) {
        if (record.type == 0x0092) break;  // end of the cells
        if (record.type == 0x0000) {       // a row begins: its number
            if (record.data.size() < 4) throw std::invalid_argument("a row record is cut short");
            row = u32(record.data, 0);
            // The reader stops at a row past the largest sheet.
            if (row > static_cast<uint32_t>(kMaxRows)) break;
        } else if (record.type >= 0x0002 && record.type <= 0x000A) {  // a cell with a value: its column first
            if (record.data.size() < 4) throw std::invalid_argument("a cell record is cut short");
            span.add(row, u32(record.data, 0));
        }
    }
    return span;
}

std::optional<std::string> span_problem(const SheetSpan& span) {
    std::string sheet = "its sheet '" + span.name + "'";
    // The .xls reader reserves the declared size up front.
    constexpr uint64_t kLargestXlsSheet = 65536ull * 256;
    if (span.declared_rows * span.declared_columns > kLargestXlsSheet) {
        return sheet + " claims " + std::to_string(span.declared_rows) + " rows by " +
               std::to_string(span.declared_columns) + " columns, more than such a sheet can hold (damaged?)";
    }
    auto sparse = [](uint64_t positions, uint64_t values) {
        return positions > kRoomyRange && positions / kEmptyShare > values;
    };
    uint64_t positions = span.positions();
    if (!sparse(positions, span.cells)) {
        if (!sparse(span.buffered, span.buffered_values)) return std::nullopt;
        uint64_t empty = span.buffered - span.buffered_values;
        return sheet + " writes out " + std::to_string(empty) + " empty cells in its rows for only " +
               std::to_string(span.buffered_values) + (span.buffered_values == 1 ? " value" : " values") +
               ", too many to read; clear the empty cells beside the data (their formatting too) and save it again";
    }
    return sheet + " spans " + cell_name(span.first_row, span.first_column) + ":" +
           cell_name(span.last_row, span.last_column) + " (" + std::to_string(positions) + " cells) for only " +
           std::to_string(span.cells) + (span.cells == 1 ? " value" : " values") +
           ", too sparse to read whole; delete the stray cells far from the data and save it again";
}

}  // namespace velutil
