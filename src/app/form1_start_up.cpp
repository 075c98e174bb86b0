// The main window's load and unload steps.
#include <exception>
#include <ostream>
#include <string>

#include "app/form1.h"
#include "common/utf8.h"
#include "platform/main_window.h"

namespace folio::app {
namespace {

constexpr int kEndedWithError = 1;

constexpr char16_t kComponentCorrupted[] =
    u"One of the program component is corrupted, please, install FolioLens again";
constexpr char16_t kLoadError[] = u"Error loading MDI file";

std::u16string Quoted(const std::u16string& text) {
    return u"\"" + text + u"\"";
}

}  // namespace

std::optional<int> Form1::Form_Load(const CommandLine& commandLine, std::ostream* notes) {
    startUpNote_.clear();
    if (!CheckViewerControl()) {
        return kEndedWithError;
    }
    std::u16string path;
    try {
        const int32_t count = commandLine.Arguments();
        if (count == 1) {
            path = commandLine.Argument(1);
            const int32_t attributes = ports_.fileAttributes.GetFileAttributes(path);
            if (Exists(attributes)) {
                OpenFromPath(path);
                original_size();
            } else if (!path.empty()) {
                // Not an error, and no message box: the empty window says why.
                std::u16string why = u" does not exist";
                if (attributes == kAttributeDirectory) {
                    why = u" is a folder, not a document";
                } else if (path.find(u' ') != std::u16string::npos) {
                    // Two files given arrive here as one name with a space.
                    why += u" (the words given are read as one file name)";
                }
                startUpNote_ = u"Nothing was opened: " + Quoted(path) + why;
            }
        } else if (count > 1) {
            std::u16string given;
            for (int32_t i = 1; i <= count; ++i) {
                given += (i > 1 ? u" " : u"") + Quoted(commandLine.Argument(i));
            }
            startUpNote_ = u"Nothing was opened: " + FromUtf8(std::to_string(count)) +
                           u" arguments were given (" + given +
                           u"), but one document opens at a time";
        }
    } catch (const std::exception& e) {
        // The engine's reasons mostly name the file already.
        const std::u16string reason = FromUtf8(e.what());
        startUpNote_ = std::u16string(kLoadError) +
                       (reason.find(path) == std::u16string::npos ? u" " + Quoted(path) : u"") +
                       u": " + reason;
        Tell(notes);
        ports_.messages.Show(kLoadError, kAppTitle, MessageIcon::Error);
        return kEndedWithError;
    }
    Tell(notes);
    return std::nullopt;
}

void Form1::Tell(std::ostream* notes) const {
    if (notes != nullptr && !startUpNote_.empty()) {
        *notes << "FolioLens: " << ToUtf8(startUpNote_) << std::endl;
    }
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
    return Exists(ports_.fileAttributes.GetFileAttributes(path));
}

bool Form1::Exists(int32_t attributes) {
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
