// Telling why a file named .xlsx could not be opened as a workbook, from
// its bytes. Plain C++.
#pragma once
#include <string>

namespace velkit::receipt_sort {

enum class WorkbookKind {
    kOther,              // whatever the reader said stands
    kPasswordProtected,  // an encrypted package: a compound file with "EncryptionInfo"
    kBinaryCompound,     // a compound file without it: an old binary workbook
};

// `content`: the file's bytes (or their start, when it is very large).
WorkbookKind workbook_kind(const std::string& content);

// The explanation a user gets for the kind, or "" for kOther.
std::string workbook_kind_reason(WorkbookKind kind);

}  // namespace velkit::receipt_sort
