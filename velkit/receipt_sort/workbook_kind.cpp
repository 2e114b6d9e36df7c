#include "workbook_kind.hpp"

#include <string_view>

namespace velkit::receipt_sort {

namespace {

constexpr std::string_view kCompoundFileMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

// The stream name as a compound file's directory stores it (UTF-16LE).
std::string utf16le(std::string_view ascii) {
    std::string wide;
    for (char c : ascii) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

}  // namespace

WorkbookKind workbook_kind(const std::string& content) {
    if (std::string_view(content).substr(0, kCompoundFileMagic.size()) != kCompoundFileMagic) {
        return WorkbookKind::kOther;
    }
    static const std::string encryption_info = utf16le("EncryptionInfo");
    return content.find(encryption_info) != std::string::npos ? WorkbookKind::kPasswordProtected
                                                              : WorkbookKind::kBinaryCompound;
}

std::string workbook_kind_reason(WorkbookKind kind) {
    switch (kind) {
        case WorkbookKind::kPasswordProtected:
            return "the workbook is password-protected; save it without a password to have it sorted";
        case WorkbookKind::kBinaryCompound:
            return "the file is an old binary workbook (.xls) named .xlsx; save it as .xlsx to have it sorted";
        case WorkbookKind::kOther:
            break;
    }
    return "";
}

}  // namespace velkit::receipt_sort
