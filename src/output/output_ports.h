#pragma once

#include "dialogs/com_dlg.h"
#include "platform/file_attributes.h"
#include "platform/main_window.h"
#include "platform/message_box.h"
#include "platform/platform_traits.h"
#include "platform/printers.h"
#include "platform/question_box.h"
#include "platform/settings_store.h"

namespace folio::output {

// What the export and print commands reach of the outside world.
struct OutputPorts {
    dialogs::comDLG& dialogs;
    MainWindow& window;  // the dialogs' owner
    SettingsStore& settings;
    FileAttributes& files;
    QuestionBox& questions;
    MessageBox& messages;
    PrinterRuntime& printers;
    PlatformTraits traits;
};

}  // namespace folio::output
