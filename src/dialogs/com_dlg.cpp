#include "dialogs/com_dlg.h"

#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::dialogs {
namespace {

// The filter's length is counted as a signed 16-bit number.
constexpr size_t kFilterLimit = 0x7FFF;
constexpr uint32_t kNoHookNorTemplate =
    ~(kSaveEnableHook | kSaveEnableTemplate | kSaveEnableTemplateHandle);

}  // namespace

comDLG::comDLG(ComDlgPorts ports) : ports_(std::move(ports)) {}

void comDLG::RaiseCancel() const {
    throw Error(errors::kCancel, "The dialog was cancelled");
}

void comDLG::PrepareFileDialog() {
    if (filter_.size() >= kFilterLimit) {
        throw Error(errors::kOverflow, "Overflow: the file filter has " +
                                           std::to_string(filter_.size()) +
                                           " characters; a dialog takes fewer than 32767");
    }
    record_ = SaveFileRecord{};
    record_.structSize = SaveFileRecord::kSize;
    record_.owner = owner_;
    record_.flags = static_cast<uint32_t>(flags_) & kNoHookNorTemplate;
    record_.initialDir = initialFolder_.empty() ? ports_.programFolder : initialFolder_;
    record_.file = chosen_;
    record_.file.resize(ports_.fileBufferChars, u'\0');
    record_.maxFile = ports_.fileBufferChars;
    record_.filter = filter_;
    for (char16_t& c : record_.filter) {
        if (c == u'|') {
            c = u'\0';
        }
    }
    record_.filter.append(2, u'\0');
    record_.filterIndex = 0;
    record_.title = title_;
}

void comDLG::ShowSaveDialog() {
    chosen_.clear();
    PrepareFileDialog();
    switch (ports_.saveDialog.GetSaveFileName(record_)) {
        case SaveDialogResult::Chosen: {
            const size_t end = record_.file.find(u'\0');
            if (end != std::u16string::npos) {
                chosen_ = record_.file.substr(0, end);
            }
            return;
        }
        case SaveDialogResult::BufferTooSmall:
            // Not a cancel: the user chose a file, and must learn why nothing happens.
            throw Error(errors::kBadFileName,
                        "The chosen file name is too long: a path here may have at most " +
                            std::to_string(record_.maxFile - 1) + " bytes");
        case SaveDialogResult::Cancelled:
            break;
    }
    if (cancelError_) {
        RaiseCancel();
    }
}

}  // namespace folio::dialogs
