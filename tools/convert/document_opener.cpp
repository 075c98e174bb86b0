#include "document_opener.h"

#include "common/utf8.h"

namespace folio::convert {

std::unique_ptr<engine::EngineDocument> OpenDocument(const std::string& path) {
    // The engine names files in UTF-16; bytes that are not UTF-8 are kept there
    // and come back unchanged when the file is opened.
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
    return TerminalText(text);
}

}  // namespace folio::convert
