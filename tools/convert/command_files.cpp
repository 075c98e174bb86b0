#include "command_files.h"

#include <filesystem>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"

namespace folio::convert {

std::unique_ptr<engine::EngineDocument> OpenDocument(const std::string& path) {
    // The argument's bytes are the file's name, UTF-8 or not.
    auto document = std::make_unique<engine::EngineDocument>();
    document->Open(path);
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

InputFiles::InputFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (const auto identity = sys::IdentityOf(path)) {
            files_.insert(*identity);
        }
    }
}

void InputFiles::CheckTarget(const std::string& target, bool overwrite) const {
    const auto identity = sys::IdentityOf(target);
    if (identity && files_.count(*identity) != 0) {
        throw Error(errors::kFileAlreadyExists,
                    "\"" + target + "\" is also an input; it is never written over");
    }
    namespace fs = std::filesystem;
    std::error_code error;
    if (!overwrite && fs::exists(fs::symlink_status(target, error))) {
        throw Error(errors::kFileAlreadyExists,
                    "\"" + target + "\" already exists; give --overwrite to replace it");
    }
}

sys::AtomicFile::Options TargetOptions(bool overwrite) {
    sys::AtomicFile::Options options;
    options.replace = overwrite;
    return options;
}

}  // namespace folio::convert
