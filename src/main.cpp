// FolioLens: builds the ports and adapters and hands them to the main window's load step.
#include <QApplication>
#include <QDir>
#include <climits>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>

#include "app/form1.h"
#include "app/menu_layout.h"
#include "app/registration_dispatch.h"
#include "application_icon.h"
#include "build_info.h"
#include "cmdline/command_line.h"
#include "engine/contract/contract_document.h"
#include "engine/print/qt_print_backend.h"
#include "engine/widget/document_view.h"
#include "engine/widget/modal_progress.h"
#include "platform/platform_traits.h"
#include "platform/posix/file_association_ports.h"
#include "platform/posix/posix_command_line_source.h"
#include "platform/posix/posix_ports.h"
#include "platform/qt/qstring_conversion.h"
#include "platform/qt/qt_main_window.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_open_file_dialog.h"
#include "platform/qt/qt_print_dialog.h"
#include "platform/qt/qt_printers.h"
#include "platform/qt/qt_save_file_dialog.h"
#include "platform/qt/qt_settings_store.h"

namespace {

// The running executable as the runtime reports it: its folder without a trailing
// separator (the root keeps its own) and the name it runs under.
folio::app::RunningProgram RunningProgramOf(const folio::posix::PosixCommandLineSource& source,
                                            const folio::CommandLine& commandLine) {
    std::u16string path = source.ExecutablePath();
    if (path.empty()) {
        path = commandLine.AppPath() + commandLine.AppExeName(true);
    }
    const auto slash = path.rfind(u'/');
    if (slash == std::u16string::npos) {
        return {u".", path};
    }
    return {slash == 0 ? u"/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file-size limit an export's write then fails with EFBIG and is reported,
    // its temporary file removed, instead of the viewer being killed with the
    // user's view.
    std::signal(SIGXFSZ, SIG_IGN);
    // The load step's first part runs before any window exists, so that the
    // registration commands work without a display.
    const folio::PlatformTraits commandLineTraits = folio::PlatformTraits::Posix(u"");
    folio::posix::PosixCommandLineSource source(argc, argv);
    std::optional<folio::CommandLine> commandLine;
    commandLine.emplace(source, commandLineTraits);
    {
        auto association =
            folio::posix::MakePosixFileAssociationPorts(folio::resources::ApplicationIconFiles());
        const auto ended = folio::app::DispatchRegistration(
            *commandLine, RunningProgramOf(source, *commandLine), commandLineTraits,
            {*association.registry, *association.codec, *association.desktop, std::cerr});
        if (ended) {
            return *ended;
        }
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("FolioLens"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(folio::build_info::kVersionMajor)
                                            .arg(folio::build_info::kVersionMinor)
                                            .arg(folio::build_info::kVersionRevision));

    // The documents outlive the window, whose viewer shows them.
    folio::engine::ContractDocumentFactory documents;
    auto* viewer = new folio::viewer::DocumentView;
    viewer->SetEngineLookup([&documents](const folio::imaging::Document& document) {
        return documents.EngineOf(document);
    });
    folio::qt::QtMainWindow window(folio::app::MainMenus(), viewer);
    folio::qt::QtPrinters printers;
    // Jobs go out with what the print dialog chose for their printer.
    documents.SetPrintBackend(
        std::make_shared<folio::print::QtPrintBackend>([&printers](const QString& deviceName) {
            const folio::PrinterSettings chosen =
                printers.SettingsOf(folio::qt::FromQString(deviceName));
            folio::print::PrinterSetup setup{chosen.orientation, chosen.duplex, {}};
            if (const auto choices = printers.ChoicesFor(deviceName)) {
                setup.choices = [choices = *choices](QPrinter& printer) {
                    folio::qt::ApplyChoices(choices, printer);
                };
            }
            return setup;
        }));
    folio::qt::QtSettingsStore settings;
    folio::qt::QtOpenFileDialog openDialog;
    folio::qt::QtMessageBox messages(&window);
    folio::posix::PosixFileAttributes fileAttributes;
    folio::qt::QtUrlOpener urlOpener;
    folio::qt::QtSaveFileDialog saveDialog;
    folio::posix::GlobalMemoryTable memory;
    folio::qt::QtPrintDialog printDialog(memory, &printers);
    folio::qt::QtQuestionBox questions;
    const folio::posix::Utf8TextCodec codec;
    // The save dialog's buffer holds the platform's path limit, in bytes.
    folio::dialogs::comDLG comDLG(folio::dialogs::ComDlgPorts{
        saveDialog, printDialog, printers, memory, messages, codec,
        folio::qt::FromQString(QCoreApplication::applicationDirPath() + u'/'), PATH_MAX});

    folio::app::Form1 form(folio::app::Form1Ports{
        *viewer, documents, settings, openDialog, messages, window, fileAttributes, urlOpener,
        comDLG, questions, printers,
        folio::PlatformTraits::Posix(folio::qt::FromQString(QDir::homePath()))});
    // Why the argument opened nothing, or could not be loaded, goes to standard error
    // too, for whoever started the program.
    const auto ended = form.Form_Load(*commandLine, &std::cerr);
    viewer->SetEmptyText(folio::qt::ToQString(form.StartUpNote()));
    if (ended) {
        // Ended at once: the window is never shown and no unload step runs.
        return *ended;
    }
    commandLine.reset();
    window.SetCommandHandler([&form, &window, &documents](const std::u16string& name) {
        // Long exports and print jobs show their progress, with Cancel, over the window.
        const QString label =
            name == u"filePrint" ? QObject::tr("Printing...") : QObject::tr("Exporting...");
        folio::viewer::ModalProgress progress(&window, label);
        documents.SetProgress(progress.Listener());
        form.RunCommand(name);  // reports every failure itself
        documents.SetProgress(nullptr);
    });

    window.show();
    const int status = QApplication::exec();
    form.RunCommand(u"Form_Unload");
    return status;
}
