#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "engine/document/progress.h"

class QProgressDialog;

namespace folio::viewer {

// Shows the progress of the long operations (export, print job) that run on the
// user-interface thread and report to its Listener(): once one has run for half a
// second, an application-modal QProgressDialog with a Cancel button appears over
// `window`. While it is up no menu command reaches the window and the window cannot
// be closed (Qt holds back input and close requests to windows a modal one blocks);
// Cancel stops the operation, which then cleans up after itself. Operations that
// end sooner show nothing.
class ModalProgress {
  public:
    static constexpr int kShowAfterMs = 500;

    ModalProgress(QWidget* window, QString label);
    ~ModalProgress();
    ModalProgress(const ModalProgress&) = delete;
    ModalProgress& operator=(const ModalProgress&) = delete;

    // What to hand the operations; valid while this object lives.
    engine::Progress Listener();

  private:
    bool Step(int done, int total);

    QPointer<QWidget> window_;
    QString label_;
    QElapsedTimer clock_;
    std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace folio::viewer
