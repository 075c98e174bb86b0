#include "output_target.h"

#include <filesystem>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::convert {

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
