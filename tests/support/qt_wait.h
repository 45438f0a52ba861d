// Waiting in widget tests: the event loop keeps running while a condition is polled, and
// pop-ups and modal boxes, which block in a nested loop, are answered from a timer.
// The time-out only catches a hang.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>

namespace kavuro::test {

inline constexpr int kHangTimeoutMs = 30'000;

// Takes events until condition holds; false after the time-out. It sleeps only until the
// next event, so a worker's blocking calls are answered at once, and objects whose
// deletion was deferred are deleted on the way.
template <typename Condition>
[[nodiscard]] bool WaitUntil(Condition condition) {
    const QDeadlineTimer deadline(kHangTimeoutMs);
    QTimer tick;  // wakes the wait up to look at the condition again
    tick.start(2);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Calls act on the first widget that find gives, as soon as it gives one. The returned
// timer is gone once it acted or gave up.
inline QPointer<QTimer> ActWhenOpen(std::function<QWidget*()> find,
                                    std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, find, act, waited] {
        if (QWidget* widget = find()) {
            timer->stop();
            timer->deleteLater();
            act(widget);
        } else if (waited->elapsed() > kHangTimeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "nothing opened";
        }
    });
    timer->start();
    return timer;
}

inline QPointer<QTimer> ActOnPopup(std::function<void(QWidget*)> act) {
    return ActWhenOpen([] { return QApplication::activePopupWidget(); }, std::move(act));
}

inline QPointer<QTimer> ActOnModal(std::function<void(QWidget*)> act) {
    return ActWhenOpen([] { return QApplication::activeModalWidget(); }, std::move(act));
}

}  // namespace kavuro::test
