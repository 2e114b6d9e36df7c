#include "sheet_writing.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velutil;

namespace {

class Texts : public ColumnSource {
public:
    explicit Texts(std::vector<std::string> values) : values_(std::move(values)) {}
    size_t size() const override { return values_.size(); }
    Cell cell(size_t row, std::string& scratch) const override {
        scratch = values_[row];  // as sources that make their texts up do
        return text_cell(scratch);
    }

private:
    std::vector<std::string> values_;
};

// Everything a sheet receives, one line per call.
class Recorder : public SheetSink {
public:
    std::vector<std::string> calls;
    void header(int column, std::string_view text) override {
        calls.push_back("header " + std::to_string(column) + " " + std::string(text));
    }
    void cell(size_t row, int column, const Cell& cell) override {
        calls.push_back("cell " + std::to_string(row) + "," + std::to_string(column) + " " + std::string(cell.text));
    }
    void freeze_header() override { calls.push_back("freeze"); }
    void column_width(int column, double width) override {
        calls.push_back("width " + std::to_string(column) + " " + std::to_string(static_cast<int>(width)));
    }
};

}  // namespace

TEST(WriteSheet, RowByRowAcrossBlocksThenWidths) {
    Texts po({"A1", "", "A333"});
    Texts so({"x"});
    Texts summary({"SYS", "CUS"});
    Recorder sink;
    write_sheet(sink, {{"PO", 0, &po}, {"SO", 1, &so}, {"", 3, &summary}}, 3);
    const std::vector<std::string> expected{
        "header 0 PO", "header 1 SO", "header 3 ", "freeze",
        "cell 1,0 A1", "cell 1,1 x", "cell 1,3 SYS",
        "cell 2,3 CUS",  // blank and past-the-end cells are left out
        "cell 3,0 A333",
        "width 0 6", "width 1 5", "width 3 5"};
    EXPECT_EQ(sink.calls, expected);
}

TEST(WriteSheet, RefusesAHeaderNoCellCanHold) {
    Texts values({"a"});
    Recorder sink;
    EXPECT_THROW(write_sheet(sink, {{std::string(kMaxCellText + 1, 'h'), 0, &values}}, 1), WorkbookError);
    EXPECT_TRUE(sink.calls.empty());
}
