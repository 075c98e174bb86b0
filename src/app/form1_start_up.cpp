// The main window's load and unload steps.
#include <exception>

#include "app/form1.h"
#include "platform/main_window.h"

namespace folio::app {
namespace {

constexpr int kEndedWithError = 1;

constexpr char16_t kComponentCorrupted[] =
    u"One of the program component is corrupted, please, install FolioLens again";
constexpr char16_t kLoadError[] = u"Error loading MDI file";

}  // namespace

std::optional<int> Form1::Form_Load(const CommandLine& commandLine) {
    if (!CheckViewerControl()) {
        return kEndedWithError;
    }
    try {
        if (commandLine.Arguments() == 1) {
            const std::u16string path = commandLine.Argument(1);
            if (FileExists(path)) {
                OpenFromPath(path);
                original_size();
            }
        }
    } catch (const std::exception&) {
        ports_.messages.Show(kLoadError, kAppTitle, MessageIcon::Error);
        return kEndedWithError;
    }
    return std::nullopt;
}

bool Form1::CheckViewerControl() {
    try {
        static_cast<void>(ports_.viewer.LivenessProbe());
        return true;
    } catch (const std::exception&) {
        ports_.messages.Show(kComponentCorrupted, kAppTitle, MessageIcon::Error);
        return false;
    }
}

bool Form1::FileExists(const std::u16string& path) {
    // The whole value against the directory bit alone: a directory that carries any
    // further attribute counts as existing.
    const int32_t attributes = ports_.fileAttributes.GetFileAttributes(path);
    return attributes != kInvalidAttributes && attributes != kAttributeDirectory;
}

void Form1::Form_Unload() {
    ports_.viewer.SetFileName(u"");
    if (IsDocumentOpen()) {
        CurrentDocument->Close(false);
    }
    CurrentDocument.reset();
}

}  // namespace folio::app
