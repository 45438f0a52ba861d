// Waiting in widget tests: the event loop keeps running while a condition is polled, and
// pop-ups and modal boxes, which block in a nested loop, are answered from a timer.
// The time-out only catches a hang.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
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

// Runs the event loop until condition holds; false after the time-out. The loop wakes as
// soon as an event arrives, so a worker's blocking calls are answered at once.
template <typename Condition>
[[nodiscard]] bool WaitUntil(Condition condition) {
    if (condition()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition()) {
            loop.quit();
        }
    });
    QTimer::singleShot(kHangTimeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return condition();
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
