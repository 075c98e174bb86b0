#include "app/form1.h"

#include <utility>

#include "app/app_title.h"
#include "app/remembered_folder.h"
#include "common/error.h"
#include "common/error_numbers.h"
#include "common/trim_spaces.h"
#include "common/utf8.h"
#include "view/zoom_commands.h"

namespace folio::app {
namespace {

constexpr size_t kOpenResultCapacity = 59000;
constexpr char16_t kOpenTitle[] = u"Open file to process";

using Command = void (Form1::*)();

struct NamedCommand {
    std::u16string_view name;
    Command command;
};

constexpr NamedCommand kCommands[] = {
    {u"fileOpen", &Form1::fileOpen},           {u"fileClose", &Form1::fileClose},
    {u"data_byHeight", &Form1::data_byHeight}, {u"data_byWidth", &Form1::data_byWidth},
    {u"data_dec", &Form1::data_dec},           {u"data_inc", &Form1::data_inc},
    {u"original_size", &Form1::original_size},
};

}  // namespace

Form1::Form1(Form1Ports ports) : ports_(std::move(ports)), dispatcher_(ports_.messages) {}

bool Form1::RunGuarded(const std::function<void()>& command) {
    const bool succeeded = dispatcher_.Run(command);
    if (!succeeded) {
        RestoreConsistentState();
    }
    return succeeded;
}

bool Form1::OpenFromCommandLine(const std::u16string& path) {
    return RunGuarded([this, &path] {
        OpenFromPath(path);
        original_size();
    });
}

bool Form1::RunCommand(std::u16string_view name) {
    return RunGuarded([this, name] {
        for (const auto& entry : kCommands) {
            if (entry.name == name) {
                (this->*entry.command)();
                return;
            }
        }
        throw Error(errors::kNotImplemented, "The command \"" + ToUtf8(name) + "\" does not exist");
    });
}

void Form1::RestoreConsistentState() {
    std::shared_ptr<imaging::Document> shown;
    try {
        shown = ports_.viewer.GetDocument();
    } catch (const std::exception&) {
        // A viewer that cannot answer is taken to show nothing.
    }
    // Consistent: the viewer shows exactly CurrentDocument, and DocumentLoaded says
    // whether there is one.
    if (shown == CurrentDocument && DocumentLoaded == (CurrentDocument != nullptr)) {
        return;
    }
    DocumentLoaded = false;
    try {
        ports_.viewer.SetFileName(u"");
    } catch (const std::exception&) {
        // The viewer already reported its own failure; nothing more can be done here.
    }
    CurrentDocument.reset();
}

void Form1::OpenFromPath(const std::u16string& path) {
    CurrentDocument.reset();
    CurrentDocument = ports_.documents.NewDocument();
    CurrentDocument->Create(path);
    ports_.viewer.SetDocument(CurrentDocument);
    DocumentLoaded = true;
}

void Form1::fileOpen() {
    const WindowHandle owner = ports_.window.Handle();
    const std::u16string folder =
        ReadRememberedFolder(ports_.settings, ports_.traits, kOpenFolderSection);
    if (ShowOpenDialog(owner, folder) > 0) {
        const std::u16string path = SelectedFiles.at(0);
        // Remembered before loading, so the folder is kept even when loading fails.
        RememberFolderOf(ports_.settings, ports_.traits, kOpenFolderSection, path);
        OpenFromPath(path);
    }
    original_size();
}

int32_t Form1::ShowOpenDialog(WindowHandle owner, const std::u16string& initialFolder) {
    OpenFileRequest request;
    request.owner = owner;
    request.filters = {
        {u"Microsoft Office Document Imaging files (*.mdi)", u"*.mdi"},
        {u"All Files (*.*)", u"*.*"},
    };
    request.filterIndex = 0;
    request.initialFolder = initialFolder;
    request.title = kOpenTitle;
    request.flags = kOpenFileMustExist | kOpenPathMustExist | kOpenHideReadOnly;
    request.resultCapacity = kOpenResultCapacity;

    const auto result = ports_.openDialog.ShowOpen(request);
    if (!result) {
        return 0;
    }
    const std::u16string_view trimmed = TrimSpaces(*result);
    SelectedFiles = {std::u16string(trimmed.substr(0, trimmed.find(u'\0')))};
    return 1;
}

void Form1::fileClose() {
    if (!DocumentLoaded) {
        return;
    }
    DocumentLoaded = false;
    ports_.viewer.SetFileName(u"");
    CurrentDocument->Close(false);
    CurrentDocument.reset();
}

bool Form1::IsDocumentOpen() {
    try {
        if (!CurrentDocument) {
            return false;
        }
        CurrentDocument->Images()->Count();
        return true;
    } catch (...) {
        return false;
    }
}

void Form1::data_byHeight() {
    view::FitToView(ports_.viewer, DocumentLoaded, imaging::kFitHeight);
}

void Form1::data_byWidth() {
    view::FitToView(ports_.viewer, DocumentLoaded, imaging::kFitWidth);
}

void Form1::data_dec() {
    view::ZoomIn(ports_.viewer);
}

void Form1::data_inc() {
    view::ZoomOut(ports_.viewer);
}

void Form1::original_size() {
    view::ResetToOriginalSize(ports_.viewer);
}

}  // namespace folio::app
