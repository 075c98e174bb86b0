#include "app/form1.h"

#include <utility>

#include "app/about_box.h"
#include "app/remembered_folder.h"
#include "build_info.h"
#include "common/error.h"
#include "common/error_numbers.h"
#include "common/text.h"
#include "common/utf8.h"
#include "output/export_command.h"
#include "output/print_command.h"
#include "platform/main_window.h"
#include "view/view_commands.h"

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
    {u"fileOpen", &Form1::fileOpen},
    {u"fileExport", &Form1::fileExport},
    {u"filePrint", &Form1::filePrint},
    {u"fileClose", &Form1::fileClose},
    {u"data_byHeight", &Form1::data_byHeight},
    {u"data_byWidth", &Form1::data_byWidth},
    {u"data_dec", &Form1::data_dec},
    {u"data_inc", &Form1::data_inc},
    {u"original_size", &Form1::original_size},
    {u"image_rotate_clock", &Form1::image_rotate_clock},
    {u"image_rotate_anticlock", &Form1::image_rotate_anticlock},
    {u"image_rotate_180", &Form1::image_rotate_180},
    {u"help_aboute", &Form1::help_aboute},
    {u"don", &Form1::don},
    {u"Form_Unload", &Form1::Form_Unload},
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
    try {
        // After a failed open the viewer still shows the document the user was reading:
        // it becomes the program's document again, without any Close on the way.
        CurrentDocument = ports_.viewer.GetDocument();
        DocumentLoaded = CurrentDocument != nullptr;
        return;
    } catch (const std::exception&) {
        // A viewer that cannot say what it shows is made to show nothing.
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
    const std::u16string folder = RememberedFolderOrDefault(ports_.settings, ports_.traits,
                                                            kOpenFolderSection, ports_.messages);
    if (ShowOpenDialog(owner, folder) > 0) {
        const std::u16string path = SelectedFiles.at(0);
        // Remembered before loading, so the folder is kept even when loading fails; a
        // store that cannot keep it does not stop the document from opening.
        try {
            RememberFolderOf(ports_.settings, ports_.traits, kOpenFolderSection, path);
        } catch (const Error& e) {
            ReportSettingsProblem(ports_.messages, e,
                                  u"The folder of this document is not remembered.");
        }
        OpenFromPath(path);
    }
    original_size();
}

output::OutputPorts Form1::OutputCommandPorts() {
    return {ports_.comDLG,    ports_.window,   ports_.settings, ports_.fileAttributes,
            ports_.questions, ports_.messages, ports_.printers, ports_.traits};
}

void Form1::fileExport() {
    auto ports = OutputCommandPorts();
    output::ExportToTiff(ports, DocumentLoaded, CurrentDocument.get());
}

void Form1::filePrint() {
    auto ports = OutputCommandPorts();
    output::PrintDocument(ports, DocumentLoaded, CurrentDocument.get());
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

void Form1::RotateEveryPage(int32_t angle) {
    if (!DocumentLoaded) {
        return;
    }
    std::vector<int32_t> pages = view::EveryPageMarked(*CurrentDocument);
    RotatePages(angle, pages);
}

void Form1::RotatePages(int32_t& angle, std::vector<int32_t>& pages) {
    if (!DocumentLoaded) {
        return;
    }
    view::RotatePages(*CurrentDocument, angle, pages);
}

void Form1::image_rotate_clock() {
    RotateEveryPage(view::kRotateClockwise);
}

void Form1::image_rotate_anticlock() {
    RotateEveryPage(view::kRotateAnticlockwise);
}

void Form1::image_rotate_180() {
    RotateEveryPage(view::kRotateHalfTurn);
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

void Form1::help_aboute() {
    const std::u16string text = AboutText(build_info::kVersionMajor, build_info::kVersionMinor,
                                          build_info::kVersionRevision);
    ports_.messages.Show(text, ports_.window.Caption(), MessageIcon::Information);
}

void Form1::don() {
    const WindowHandle owner = ports_.window.Handle();
    // Whatever the desktop makes of it is not the program's concern.
    static_cast<void>(
        ports_.urlOpener.OpenUrl(owner, DonationAddress(build_info::kDonationAddressHead)));
}

}  // namespace folio::app
