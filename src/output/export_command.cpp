#include "output/export_command.h"

#include "app/remembered_folder.h"
#include "common/error.h"
#include "common/error_numbers.h"
#include "common/text.h"
#include "common/utf8.h"
#include "platform/main_window.h"

namespace folio::output {
namespace {

constexpr char16_t kExportTitle[] = u"Save MDI as...";
constexpr std::u16string_view kExportFilter{u"TIFF files (*.tiff)\0*.tiff\0", 27};
constexpr std::u16string_view kTiffExtension = u".tiff";

bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() &&
           SameText(text.substr(text.size() - suffix.size()), suffix, false);
}

// The file actually written for the chosen name.
std::u16string TargetOf(const std::u16string& chosen) {
    if (EndsWithNoCase(chosen, kTiffExtension) || EndsWithNoCase(chosen, u".tif")) {
        return chosen;
    }
    return chosen + std::u16string(kTiffExtension);
}

}  // namespace

void ExportToTiff(OutputPorts& ports, bool documentLoaded, imaging::Document* document) {
    if (!documentLoaded || document == nullptr) {
        return;
    }
    dialogs::comDLG& dialogs = ports.dialogs;
    dialogs.OwnerWindow(ports.window.Handle());
    dialogs.DialogTitle(kExportTitle);
    dialogs.FileFilter(std::u16string(kExportFilter));
    dialogs.DialogFlags(static_cast<int32_t>(kSaveOverwritePrompt));
    dialogs.CancelError(false);
    // Settings that cannot be read do not stop the export, as they do not stop opening.
    dialogs.InitialFolder(app::RememberedFolderOrDefault(ports.settings, ports.traits,
                                                         app::kSaveFolderSection, ports.messages));
    dialogs.ShowSaveDialog();
    const std::u16string chosen = dialogs.ChosenFile();
    if (chosen.empty()) {
        return;
    }
    const std::u16string target = TargetOf(chosen);
    // The dialog asked about the name typed; this asks about the file written.
    if (target != chosen && ports.files.GetFileAttributes(target) != kInvalidAttributes &&
        !ports.questions.AskYesNo(target + u" already exists.\nDo you want to replace it?",
                                  kExportTitle)) {
        return;
    }
    try {
        document->SaveAs(target, imaging::kFileFormatTiff, imaging::kCompressionDefault);
    } catch (const Error& e) {
        if (e.Number() == errors::kCancel) {
            return;  // cancelled by the user from the progress dialog: nothing written
        }
        throw;
    }
    try {
        app::RememberFolderOf(ports.settings, ports.traits, app::kSaveFolderSection, chosen);
    } catch (const std::exception& e) {
        ports.messages.Show(u"The document was exported, but its folder could not be remembered: " +
                                FromUtf8(e.what()),
                            kAppTitle, MessageIcon::Error);
    }
}

}  // namespace folio::output
