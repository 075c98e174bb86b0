// FolioLens: wires the adapters and the engine into the main window and runs it.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <memory>

#include "app/form1.h"
#include "app/menu_layout.h"
#include "engine/document_factory.h"
#include "engine/print/qt_print_backend.h"
#include "engine/widget/document_view.h"
#include "platform/platform_traits.h"
#include "platform/qt/qstring_conversion.h"
#include "platform/qt/qt_main_window.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_open_file_dialog.h"
#include "platform/qt/qt_settings_store.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("FolioLens"));

    auto* viewer = new folio::viewer::DocumentView;
    folio::qt::QtMainWindow window(folio::app::MainMenus(), viewer);
    folio::engine::EngineDocumentFactory documents;
    documents.SetPrintBackend(std::make_shared<folio::print::QtPrintBackend>());
    folio::qt::QtSettingsStore settings;
    folio::qt::QtOpenFileDialog openDialog;
    folio::qt::QtMessageBox messages;

    folio::app::Form1 form(folio::app::Form1Ports{
        *viewer, documents, settings, openDialog, messages, window,
        folio::PlatformTraits::Posix(folio::qt::FromQString(QDir::homePath()))});
    window.SetCommandHandler([&form](const std::u16string& name) { form.RunCommand(name); });

    // One argument naming an existing file is opened at original size; a file that
    // cannot be loaded is reported and the window opens empty.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 2 && QFileInfo(arguments.at(1)).isFile()) {
        form.OpenFromCommandLine(folio::qt::FromQString(arguments.at(1)));
    }

    window.show();
    return QApplication::exec();
}
