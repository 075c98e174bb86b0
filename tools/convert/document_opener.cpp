#include "document_opener.h"

#include "common/utf8.h"

namespace folio::convert {

std::unique_ptr<engine::EngineDocument> OpenDocument(const std::string& path) {
    auto document = std::make_unique<engine::EngineDocument>();
    document->Create(FromUtf8(path));
    return document;
}

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

}  // namespace folio::convert
