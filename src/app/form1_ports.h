#pragma once

#include "dialogs/com_dlg.h"
#include "imaging/document_factory.h"
#include "imaging/viewer_control.h"
#include "platform/file_attributes.h"
#include "platform/main_window.h"
#include "platform/message_box.h"
#include "platform/open_file_dialog.h"
#include "platform/platform_traits.h"
#include "platform/printers.h"
#include "platform/question_box.h"
#include "platform/settings_store.h"
#include "platform/url_opener.h"

namespace folio::app {

// The outside world as the main window's commands reach it.
struct Form1Ports {
    imaging::ViewerControl& viewer;  // the hosted viewer control MiDocView1
    imaging::DocumentFactory& documents;
    SettingsStore& settings;
    OpenFileDialog& openDialog;
    MessageBox& messages;
    MainWindow& window;
    FileAttributes& fileAttributes;
    UrlOpener& urlOpener;
    dialogs::comDLG& comDLG;  // the common dialogs' settings and results
    QuestionBox& questions;
    PrinterRuntime& printers;
    PlatformTraits traits;
};

}  // namespace folio::app
