#include "pdf_output.hpp"

#include <gtest/gtest.h>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>
#include <string>
#include <vector>

using velkit::sheet_tile::pdf_output;

namespace {

// A document of `count` pages, each with a content stream of its own.
void add_pages(QPDF& pdf, int count) {
    QPDFPageDocumentHelper pages(pdf);
    for (int n = 0; n < count; ++n) {
        QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 595 842]"));
        page.replaceKey("/Contents", pdf.newStream("0 0 m " + std::to_string(n) + " 100 l S\n"));
        pages.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
    }
}

size_t pages_of(const std::string& bytes) {
    QPDF read;
    read.processMemoryFile("report", bytes.data(), bytes.size());
    return QPDFPageDocumentHelper(read).getAllPages().size();
}

}  // namespace

TEST(PdfOutput, TheWriterTellsHowFarItIsUpToTheEnd) {
    QPDF pdf;
    pdf.emptyPDF();
    add_pages(pdf, 300);
    std::vector<int> heard;
    std::string bytes = pdf_output(pdf, [&](int percent) { heard.push_back(percent); });
    ASSERT_FALSE(heard.empty());
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
    EXPECT_GE(heard.front(), 0);
    EXPECT_EQ(heard.back(), 100);
    // Often enough to move a progress line, and not once per object.
    EXPECT_GT(heard.size(), 20u);
    EXPECT_LE(heard.size(), 110u);
    EXPECT_EQ(bytes.rfind("%PDF-1.7", 0), 0u);
    EXPECT_EQ(pages_of(bytes), 300u);
}

TEST(PdfOutput, WithoutAListenerTheSameDocument) {
    QPDF pdf;
    pdf.emptyPDF();
    add_pages(pdf, 3);
    EXPECT_EQ(pages_of(pdf_output(pdf)), 3u);
}
