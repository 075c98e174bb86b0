#include "platform/qt/qt_main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTest>

#include "app/form1.h"
#include "app/menu_layout.h"
#include "common/utf8.h"
#include "engine/contract/contract_document.h"
#include "engine/document/engine_document.h"
#include "engine/widget/document_view.h"
#include "platform/posix/posix_ports.h"
#include "platform/qt/qstring_conversion.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_open_file_dialog.h"
#include "platform/qt/qt_print_dialog.h"
#include "platform/qt/qt_printers.h"
#include "platform/qt/qt_save_file_dialog.h"
#include "platform/qt/qt_settings_store.h"
#include "platform/qt/window_handles.h"
#include "support/modal_driver.h"
#include "support/raw_tiff_builder.h"
#include "support/temp_dir.h"
#include "support/test_document.h"

namespace folio::viewer {
namespace {

using engine::testing::TempDir;
using testing::WhenModalShown;

struct Expected {
    const char* menu;
    const char* name;
    const char* caption;
    const char* shortcut;
};

// The menu bar as users know it from the program's documentation.
const Expected kMenuBar[] = {
    {"File_", "fileOpen", "&Open...", "Ctrl+O"},
    {"File_", "fileExport", "&Export...", "Ctrl+S"},
    {"File_", "filePrint", "&Print...", "Ctrl+P"},
    {"File_", "sep1", "-", ""},
    {"File_", "fileClose", "&Close", "Ctrl+C"},
    {"image_", "image_rotate_clock", "&Rotate clockwise 90\u00B0", ""},
    {"image_", "image_rotate_anticlock", "&Rotate anti-clockwise 90\u00B0", ""},
    {"image_", "image_rotate_180", "&Rotate 180\u00B0", ""},
    {"image_", "sep2", "-", ""},
    {"image_", "data_inc", "&Zoom Out", "Shift+Ins"},
    {"image_", "data_dec", "&ZoomIn", "Shift+Del"},
    {"image_", "sep3", "-", ""},
    {"image_", "original_size", "&Original size", ""},
    {"image_", "data_byHeight", "&Fit to Height", ""},
    {"image_", "data_byWidth", "&Fit to Width", ""},
    {"help_", "help_aboute", "&About program..", ""},
    {"help_", "don", "&Donation", ""},
};

TEST(MainWindow, MenusCaptionsSeparatorsAndShortcutsFollowTheTable) {
    qt::QtMainWindow window(app::MainMenus(), new DocumentView);
    QList<QMenu*> menus;
    for (QAction* top : window.menuBar()->actions()) {
        menus << top->menu();
    }
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->title(), QStringLiteral("&File"));
    EXPECT_EQ(menus[1]->title(), QStringLiteral("&Image"));
    EXPECT_EQ(menus[2]->title(), QStringLiteral("&Help"));

    std::vector<QAction*> actions;
    for (QMenu* menu : menus) {
        for (QAction* action : menu->actions()) {
            EXPECT_EQ(action->parent(), menu);
            actions.push_back(action);
        }
    }
    ASSERT_EQ(actions.size(), std::size(kMenuBar));
    for (size_t i = 0; i < actions.size(); ++i) {
        const Expected& e = kMenuBar[i];
        QAction* action = actions[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(action->parent()->objectName(), QString::fromUtf8(e.menu));
        EXPECT_EQ(action->objectName(), QString::fromUtf8(e.name));
        if (std::string(e.caption) == "-") {
            EXPECT_TRUE(action->isSeparator());
        } else {
            EXPECT_EQ(action->text(), QString::fromUtf8(e.caption));
            EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromUtf8(e.shortcut)));
            EXPECT_TRUE(action->isEnabled());
        }
    }
}

TEST(MainWindow, CaptionIconAndAViewerFillingTheClientArea) {
    auto* viewer = new DocumentView;
    qt::QtMainWindow window(app::MainMenus(), viewer);
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("FolioLens"));
    EXPECT_EQ(window.Caption(), u"FolioLens");
    EXPECT_GE(window.windowIcon().availableSizes().size(), 5);
    EXPECT_EQ(viewer->objectName(), QStringLiteral("MiDocView1"));
    for (const QSize size : {QSize(640, 480), QSize(300, 200), QSize(1000, 700)}) {
        window.resize(size);
        QApplication::processEvents();
        EXPECT_EQ(viewer->x(), 0);
        EXPECT_EQ(viewer->y(), window.menuBar()->geometry().bottom() + 1);
        EXPECT_EQ(viewer->width(), window.width());
        EXPECT_EQ(viewer->geometry().bottom(), window.height() - 1);
    }
    EXPECT_EQ(qt::WidgetOf(window.Handle()), &window);
}

TEST(MainWindow, EveryItemAndShortcutGoesToTheOneHandler) {
    qt::QtMainWindow window(app::MainMenus(), new DocumentView);
    std::vector<std::u16string> ran;
    window.SetCommandHandler([&ran](const std::u16string& name) { ran.push_back(name); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (QAction* action : window.findChildren<QAction*>(QStringLiteral("original_size"))) {
        action->trigger();
    }
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+O")));
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+C")));
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Shift+Ins")));
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Shift+Del")));
    EXPECT_EQ(ran, (std::vector<std::u16string>{u"original_size", u"fileOpen", u"fileClose",
                                                u"data_inc", u"data_dec"}));
}

TEST(MainWindow, MenuShortcutsReachTheirCommandsWhileTheViewerHasTheFocus) {
    TempDir dir;
    auto* viewer = new DocumentView;
    qt::QtMainWindow window(app::MainMenus(), viewer);
    std::vector<std::u16string> ran;
    window.SetCommandHandler([&ran](const std::u16string& name) { ran.push_back(name); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const std::string path = dir.File("pages.tif");
    testing::WriteTextDocument(path, 12, 850, 1100, 100.0);
    auto document = std::make_shared<engine::EngineDocument>();
    document->Open(path);
    viewer->Show(document);
    viewer->setFocus();
    ASSERT_TRUE(viewer->hasFocus());
    const std::vector<std::u16string> commands{u"fileOpen",  u"fileExport", u"filePrint",
                                               u"fileClose", u"data_inc",   u"data_dec"};
    // The viewer's own keys in each of its states: none of them takes a menu's key.
    for (const char* state : {"plain", "go to page open", "thumbnails shown"}) {
        if (std::string(state) == "go to page open") {
            QTest::keyClick(viewer, Qt::Key_G, Qt::ControlModifier);
            QTest::keyClick(viewer, Qt::Key_1);
            ASSERT_TRUE(viewer->GoToPageOpen());
        } else if (std::string(state) == "thumbnails shown") {
            QTest::keyClick(viewer, Qt::Key_Escape);
            QTest::keyClick(viewer, Qt::Key_F9);
            QTest::keyClick(viewer, Qt::Key_Plus, Qt::ControlModifier);
            ASSERT_TRUE(viewer->ThumbnailsShown());
        }
        EXPECT_TRUE(ran.empty()) << state << ": the viewer's keys ran a command";
        for (const char* keys :
             {"Ctrl+O", "Ctrl+S", "Ctrl+P", "Ctrl+C", "Shift+Ins", "Shift+Del"}) {
            QTest::keySequence(viewer, QKeySequence(QString::fromLatin1(keys)));
        }
        EXPECT_EQ(ran, commands) << state;
        ran.clear();
    }
}

// The program wired as main() wires it, with settings in a temporary config folder.
class WiredProgram : public ::testing::Test {
  protected:
    TempDir config;
    TempDir documents;
    QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    engine::ContractDocumentFactory factory;
    DocumentView* viewer = new DocumentView;
    qt::QtMainWindow window{app::MainMenus(), viewer};
    qt::QtSettingsStore settings;
    qt::QtOpenFileDialog dialog;
    qt::QtMessageBox messages{&window};
    posix::PosixFileAttributes attributes;
    qt::QtUrlOpener browser;
    qt::QtSaveFileDialog saveDialog;
    posix::GlobalMemoryTable memory;
    qt::QtPrintDialog printDialog{memory};
    qt::QtPrinters printers;
    qt::QtQuestionBox questions;
    posix::Utf8TextCodec codec;
    dialogs::comDLG comDLG{dialogs::ComDlgPorts{saveDialog, printDialog, printers, memory, messages,
                                                codec, u"/opt/foliolens/", 4096}};
    app::Form1 form{app::Form1Ports{*viewer, factory, settings, dialog, messages, window,
                                    attributes, browser, comDLG, questions, printers,
                                    PlatformTraits::Posix(u"/nonexistent-home")}};

    WiredProgram() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.Path()));
        viewer->SetEngineLookup(
            [this](const imaging::Document& document) { return factory.EngineOf(document); });
        window.SetCommandHandler([this](const std::u16string& name) { form.RunCommand(name); });
        window.show();
    }
    ~WiredProgram() override { qputenv("XDG_CONFIG_HOME", oldConfig); }

    QString SettingsFile() const {
        return QString::fromStdString(config.Path()) + QStringLiteral("/FolioLens/FolioLens.conf");
    }

    // Chooses `path` in the open dialog the File menu's "&Open..." shows; returns the
    // folder the dialog started in and the filters it offered.
    std::pair<QString, QStringList> OpenThroughMenu(const QString& path) {
        std::pair<QString, QStringList> seen;
        WhenModalShown<QFileDialog>([&seen, path](QFileDialog* shown) {
            EXPECT_EQ(shown->windowTitle(), QStringLiteral("Open file to process"));
            EXPECT_EQ(shown->fileMode(), QFileDialog::ExistingFile);
            seen.first = shown->directory().absolutePath();
            // "*.*" selects every file, also those without a dot in their name.
            EXPECT_TRUE(shown->nameFilters().value(1).endsWith(QStringLiteral("(*)")));
            if (auto* types = shown->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
                for (int i = 0; i < types->count(); ++i) {
                    seen.second << types->itemText(i);
                }
            }
            // Typed as a user would; selecting in the list races with its loading.
            auto* name = shown->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(path);
            static_cast<QDialog*>(shown)->accept();
            if (shown->isVisible()) {
                ADD_FAILURE() << "the dialog did not take " << path.toStdString();
                static_cast<QDialog*>(shown)->reject();
            }
        });
        window.findChild<QAction*>(QStringLiteral("fileOpen"))->trigger();
        return seen;
    }
};

TEST_F(WiredProgram, OpenThroughTheMenuShowsTheDocumentAndRemembersItsFolder) {
    const std::string path = documents.File("letter.tif");
    testing::WriteTextDocument(path, 2, 850, 1100, 100.0);
    const auto [startFolder, filters] = OpenThroughMenu(QString::fromStdString(path));
    EXPECT_EQ(filters,
              (QStringList{QStringLiteral("Microsoft Office Document Imaging files (*.mdi)"),
                           QStringLiteral("All Files (*.*)")}));
    EXPECT_TRUE(form.DocumentLoaded);
    EXPECT_EQ(viewer->GetDocument(), form.CurrentDocument);
    EXPECT_EQ(viewer->NumPages(), 2);
    double first = 0.0;
    double second = 0.0;
    viewer->GetZoom(first, second);
    EXPECT_EQ(first, 1.0);
    EXPECT_EQ(second, 1.0);

    ASSERT_TRUE(QFile::exists(SettingsFile()));
    QSettings stored(SettingsFile(), QSettings::IniFormat);
    const QString folder = QString::fromStdString(documents.Path()) + u'/';
    EXPECT_EQ(stored.value(QStringLiteral("open/fo")).toString(), folder);

    // A later run (a fresh store reading the same file) starts its dialog there.
    qt::QtSettingsStore restarted;
    EXPECT_EQ(qt::ToQString(restarted.GetSetting(u"FolioLens", u"open", u"fo", u"/x/")), folder);
    const auto second_open = OpenThroughMenu(QString::fromStdString(path));
    EXPECT_EQ(second_open.first + u'/', folder);
}

TEST_F(WiredProgram, ExportThroughTheMenuWritesTheTiffAndRemembersItsFolder) {
    const std::string path = documents.File("letter.tif");
    testing::WriteTextDocument(path, 2, 850, 1100, 100.0);
    OpenThroughMenu(QString::fromStdString(path));
    WhenModalShown<QFileDialog>([this](QFileDialog* shown) {
        EXPECT_EQ(shown->windowTitle(), QStringLiteral("Save MDI as..."));
        shown->setDirectory(QString::fromStdString(documents.Path()));
        shown->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("copy"));
        static_cast<QDialog*>(shown)->accept();
    });
    window.findChild<QAction*>(QStringLiteral("fileExport"))->trigger();
    auto exported = factory.NewDocument();
    exported->Create(FromUtf8(documents.File("copy.tiff")));
    EXPECT_EQ(exported->Images()->Count(), 2);
    QSettings stored(SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("save/fo")).toString(),
              QString::fromStdString(documents.Path()) + u'/');
}

// A document whose page chain breaks opens with the pages before the break; its
// export fails at the break, saying why, and writes nothing.
TEST_F(WiredProgram, ExportOfABrokenChainFailsAtTheBreakWithItsReason) {
    engine::testing::RawTiffBuilder file;
    file.AddSimplePage(64, 64, 8, 1, std::vector<uint8_t>(64 * 64, 0x80));
    file.AddSimplePage(64, 64, 8, 1, std::vector<uint8_t>(64 * 64, 0x40));
    file.SetNext(1, file.IfdOffset(0));
    const std::string path = documents.File("loop.tif");
    engine::testing::WriteFileBytes(path, file.Bytes());
    // The one message box expected is the export's: opening shows none.
    QString text;
    WhenModalShown<QMessageBox>([&text](QMessageBox* box) {
        text = box->text();
        box->accept();
    });
    OpenThroughMenu(QString::fromStdString(path));
    ASSERT_TRUE(form.DocumentLoaded) << text.toStdString();
    EXPECT_EQ(viewer->NumPages(), 3);
    WhenModalShown<QFileDialog>([this](QFileDialog* shown) {
        shown->setDirectory(QString::fromStdString(documents.Path()));
        shown->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("copy"));
        static_cast<QDialog*>(shown)->accept();
    });
    window.findChild<QAction*>(QStringLiteral("fileExport"))->trigger();
    EXPECT_TRUE(text.contains(QStringLiteral(
        "page 3: the rest of the document cannot be read: the page chain loops back after page 2")))
        << text.toStdString();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(documents.File("copy.tiff"))));
}

TEST_F(WiredProgram, AFailedOpenIsReportedOverTheWindowAndKeepsTheDocumentShown) {
    const std::string good = documents.File("good.tif");
    testing::WriteTextDocument(good, 1, 400, 500, 50.0);
    OpenThroughMenu(QString::fromStdString(good));
    ASSERT_TRUE(form.DocumentLoaded);
    const auto shown = form.CurrentDocument;

    const std::string broken = documents.File("broken.mdi");
    engine::testing::WriteFileBytes(broken, {'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f', 'f'});
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    WhenModalShown<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        owner = box->parentWidget();
        box->accept();
    });
    OpenThroughMenu(QString::fromStdString(broken));
    EXPECT_EQ(title, QStringLiteral("FolioLens"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(owner, &window) << "the message is centred on the main window";
    EXPECT_TRUE(text.startsWith(QStringLiteral("Error "))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("broken.mdi"))) << text.toStdString();
    // The user keeps what they were reading.
    EXPECT_TRUE(form.DocumentLoaded);
    EXPECT_EQ(form.CurrentDocument, shown);
    EXPECT_EQ(viewer->GetDocument(), shown);
    EXPECT_EQ(viewer->NumPages(), 1);
    QSettings stored(SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("open/fo")).toString(),
              QString::fromStdString(documents.Path()) + u'/');
    // The window still works: close and the zoom commands run.
    EXPECT_TRUE(form.RunCommand(u"fileClose"));
    EXPECT_FALSE(form.DocumentLoaded);
    EXPECT_TRUE(form.RunCommand(u"data_dec"));
}

TEST_F(WiredProgram, ANameWithATrailingSpaceOpensThatFile) {
    // Only the name with the space holds a document: a trimmed name would open nothing.
    const std::string spaced = documents.File("letter.tif ");
    testing::WriteTextDocument(spaced, 3, 400, 500, 50.0);
    OpenThroughMenu(QString::fromStdString(spaced));
    EXPECT_TRUE(form.DocumentLoaded);
    EXPECT_EQ(viewer->NumPages(), 3);
    EXPECT_EQ(form.SelectedFiles, std::vector<std::u16string>{FromUtf8(spaced)});
}

}  // namespace
}  // namespace folio::viewer
