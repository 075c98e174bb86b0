#include "document_opener.h"

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"

namespace folio::convert {

std::unique_ptr<engine::EngineDocument> OpenDocument(const std::string& path) {
    // The engine names files in UTF-16, so a name with stray bytes could not be
    // found again: say so rather than "file not found".
    const std::u16string name = FromUtf8(path);
    if (ToUtf8(name) != path) {
        throw Error(errors::kBadFileName, path + ": the file name is not valid UTF-8");
    }
    auto document = std::make_unique<engine::EngineDocument>();
    document->Create(name);
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
