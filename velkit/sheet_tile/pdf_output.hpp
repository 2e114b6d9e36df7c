// A qpdf document as the bytes of the report: plain C++ (no interpreter),
// so the writer's settings and its progress are tested on their own.
#pragma once
#include <qpdf/QPDF.hh>

#include <functional>
#include <string>

namespace velkit::sheet_tile {

// Streams compressed, small objects packed into object streams, PDF 1.7 at
// least (the layers and transparency groups of the sources need it).
// `percent_done`, when given, hears how far the writer is (0 to 100) as
// it goes, about once per percent.
std::string pdf_output(QPDF& pdf, std::function<void(int)> percent_done = {});

}  // namespace velkit::sheet_tile
