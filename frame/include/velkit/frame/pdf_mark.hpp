// Whether a PDF is a tool's own earlier output: its document information
// names the tool's mark as creator or producer. Read with qpdf, so that
// the check needs no Python package. Plain C++.
#pragma once
#include <string>

namespace velkit::frame {

// False for anything that does not prove it: no PDF, damaged beyond
// repair, encrypted, or another mark.
bool pdf_carries_mark(const std::string& path, const std::string& mark);

}  // namespace velkit::frame
