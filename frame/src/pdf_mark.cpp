#include "velkit/frame/pdf_mark.hpp"

#include <qpdf/QPDF.hh>

namespace velkit::frame {

bool pdf_carries_mark(const std::string& path, const std::string& mark) {
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.c_str());
        if (pdf.isEncrypted()) return false;
        QPDFObjectHandle info = pdf.getTrailer().getKeyIfDict("/Info");
        for (const char* key : {"/Creator", "/Producer"}) {
            QPDFObjectHandle value = info.getKeyIfDict(key);
            if (value.isString() && value.getUTF8Value() == mark) return true;
        }
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace velkit::frame
