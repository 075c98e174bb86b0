#include "engine/widget/modal_progress.h"

#include <QProgressDialog>
#include <utility>

namespace folio::viewer {

ModalProgress::ModalProgress(QWidget* window, QString label)
    : window_(window), label_(std::move(label)) {}

ModalProgress::~ModalProgress() = default;

engine::Progress ModalProgress::Listener() {
    return [this](int done, int total) { return Step(done, total); };
}

bool ModalProgress::Step(int done, int total) {
    if (done == 0 || !clock_.isValid()) {
        // A new operation: whatever an earlier one left up goes away.
        dialog_.reset();
        clock_.start();
    }
    if (!dialog_ && clock_.elapsed() >= kShowAfterMs) {
        // Made only when it is due, so its own show timer cannot fire later in some
        // other event loop (a message box after a failed operation).
        dialog_ = std::make_unique<QProgressDialog>(label_, QObject::tr("Cancel"), 0, total,
                                                    window_.data());
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
    }
    if (dialog_) {
        // A modal progress dialog handles pending events here, Cancel among them.
        dialog_->setMaximum(total);
        dialog_->setValue(done);
        if (dialog_->wasCanceled()) {
            dialog_.reset();
            clock_.invalidate();
            return false;
        }
    }
    if (done >= total) {
        dialog_.reset();
        clock_.invalidate();
    }
    return true;
}

}  // namespace folio::viewer
