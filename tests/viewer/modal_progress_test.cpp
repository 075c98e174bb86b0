#include "engine/widget/modal_progress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressDialog>
#include <chrono>
#include <thread>

#include "common/error.h"
#include "common/error_numbers.h"
#include "support/modal_driver.h"

namespace folio::viewer {
namespace {

using engine::ReportProgress;
using std::chrono::milliseconds;
using testing::WhenModalShown;

// Steps of an operation of `steps` steps taking `stepTime` each, reported to
// `progress`; the step at which a cancel stopped it, or -1 when it ran to the end.
int RunOperation(const engine::Progress& progress, int steps, milliseconds stepTime) {
    ReportProgress(progress, 0, steps);
    for (int done = 1; done <= steps; ++done) {
        std::this_thread::sleep_for(stepTime);
        try {
            ReportProgress(progress, done, steps);
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), errors::kCancel) << e.what();
            return done;
        }
    }
    return -1;
}

TEST(ModalProgress, LongOperationShowsAModalDialogWhoseCancelStopsIt) {
    QWidget window;
    window.show();
    ModalProgress progress(&window, QStringLiteral("Exporting..."));
    bool shown = false;
    WhenModalShown<QProgressDialog>([&](QProgressDialog* dialog) {
        shown = true;
        EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(dialog->labelText(), QStringLiteral("Exporting..."));
        EXPECT_EQ(dialog->maximum(), 40);
        dialog->cancel();
    });
    const int stoppedAt = RunOperation(progress.Listener(), 40, milliseconds(30));
    EXPECT_TRUE(shown);
    EXPECT_GT(stoppedAt, 0) << "the operation ran on after Cancel";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog stays up after Cancel";
}

TEST(ModalProgress, ShortOperationsShowNothingAndTheNextOneStartsAfresh) {
    QWidget window;
    ModalProgress progress(&window, QStringLiteral("Printing..."));
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(RunOperation(progress.Listener(), 5, milliseconds(1)), -1);
        EXPECT_TRUE(window.findChildren<QProgressDialog*>().isEmpty()) << "run " << run;
    }
}

}  // namespace
}  // namespace folio::viewer
