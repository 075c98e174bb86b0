#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace folio::viewer::testing {

// Runs `act` on the next modal window of type T once it is shown (the code under test
// is blocked in its exec()). When none appears in time the test fails, and whatever
// modal window is open is closed so that the test cannot hang.
template <typename T>
void WhenModalShown(std::function<void(T*)> act, QDeadlineTimer deadline = QDeadlineTimer(30000)) {
    QTimer::singleShot(20, [act = std::move(act), deadline] {
        if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
            act(modal);
        } else if (!deadline.hasExpired()) {
            WhenModalShown<T>(act, deadline);
        } else {
            ADD_FAILURE() << "the expected modal window did not appear";
            if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                other->reject();
            }
        }
    });
}

}  // namespace folio::viewer::testing
