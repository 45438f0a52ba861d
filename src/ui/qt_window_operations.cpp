#include "ui/qt_window_operations.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "ui/qt_text.h"
#include "ui/song_list.h"

namespace kavuro {
namespace {

bool IsColumn(std::int32_t column) {
    return column == 0 || column == 1;
}

QTreeWidgetItem* Row(SongList& list, std::int32_t row) {
    return row >= 0 ? list.topLevelItem(row) : nullptr;
}

using Clock = std::chrono::steady_clock;

// Tells the core it is in a spin loop, so that the other hardware thread gets on.
void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

}  // namespace

// Hands calls from workers to the UI thread. The first call of a run travels as a queued
// event to the application object; while the run lasts, the UI thread waits for the next
// calls and carries them out as they come. A run ends when the callers pause or its time
// is up; a caller that comes later starts the next one.
class QtWindowOperations::Relay final : public std::enable_shared_from_this<Relay> {
public:
    // Any thread but the UI thread. Returns once call has been carried out, or at once
    // when it never will be (the application went before the run reached it).
    void CarryOut(const std::function<void()>& call, QCoreApplication* application) {
        Request request{&call};
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(&request);
            queued_.store(queue_.size(), std::memory_order_release);
            if (staying_) {
                callArrived_.notify_one();
            } else if (!runPosted_) {
                PostRun(application);
            }
        }
        if (SpinUntil([&] { return request.done.load(std::memory_order_acquire); })) {
            return;
        }
        std::unique_lock lock(mutex_);
        callDone_.wait(lock, [&] { return request.done.load(std::memory_order_relaxed); });
    }

private:
    struct Request {
        const std::function<void()>* call;
        std::atomic<bool> done{false};
    };

    // The UI thread stays at most kRunTime in one run, and waits at most kPause for a
    // caller's next call: the window keeps answering the user.
    static constexpr std::chrono::milliseconds kRunTime{8};
    static constexpr std::chrono::microseconds kPause{500};
    // Both sides usually answer within microseconds, sooner than a sleeping thread wakes
    // up: each spins a little before it sleeps, first on the core, then yielding it in
    // case the other side waits for it.
    static constexpr std::chrono::microseconds kSpinOnCore{10};
    static constexpr std::chrono::microseconds kSpin{50};

    template <typename Condition>
    static bool SpinUntil(Condition condition) {
        const Clock::time_point start = Clock::now();
        do {
            for (int i = 0; i < 16; ++i) {
                if (condition()) {
                    return true;
                }
                SpinPause();
            }
        } while (Clock::now() - start < kSpinOnCore);
        do {
            if (condition()) {
                return true;
            }
            std::this_thread::yield();
        } while (Clock::now() - start < kSpin);
        return condition();
    }

    // With the lock held.
    void Finish(Request& request) {
        request.done.store(true, std::memory_order_release);
        callDone_.notify_all();
    }

    // With the lock held.
    void PostRun(QCoreApplication* application) {
        // Lets the callers go, their calls not made, should the application go before
        // the run reaches the UI thread.
        class Ticket {
        public:
            explicit Ticket(std::shared_ptr<Relay> relay) : relay_(std::move(relay)) {}
            Ticket(Ticket&& other) noexcept : relay_(std::move(other.relay_)) {}
            Ticket& operator=(Ticket&&) = delete;
            ~Ticket() {
                if (relay_ != nullptr) {
                    const std::lock_guard lock(relay_->mutex_);
                    relay_->runPosted_ = false;
                    relay_->FinishAll();
                }
            }
            std::shared_ptr<Relay> Use() { return std::move(relay_); }

        private:
            std::shared_ptr<Relay> relay_;
        };
        runPosted_ = true;
        QMetaObject::invokeMethod(
            application,
            [ticket = Ticket(shared_from_this()), application]() mutable {
                ticket.Use()->Run(application);
            },
            Qt::QueuedConnection);
    }

    // With the lock held.
    void FinishAll() {
        for (Request* request : queue_) {
            Finish(*request);
        }
        queue_.clear();
        queued_.store(0, std::memory_order_relaxed);
    }

    // On the UI thread.
    void Run(QCoreApplication* application) {
        const Clock::time_point end = Clock::now() + kRunTime;
        std::unique_lock lock(mutex_);
        runPosted_ = false;
        staying_ = true;
        bool timeIsUp = false;
        while (!timeIsUp) {
            if (queue_.empty()) {
                lock.unlock();
                SpinUntil([&] { return queued_.load(std::memory_order_acquire) > 0; });
                lock.lock();
                if (!callArrived_.wait_until(lock, std::min(end, Clock::now() + kPause),
                                             [&] { return !queue_.empty(); })) {
                    break;
                }
            }
            Request& request = *queue_.front();
            queue_.pop_front();
            queued_.store(queue_.size(), std::memory_order_relaxed);
            lock.unlock();
            try {
                (*request.call)();
            } catch (...) {
                // On the way to the fatal stop: nobody may wait for this run any more.
                lock.lock();
                Finish(request);
                FinishAll();
                staying_ = false;
                throw;
            }
            lock.lock();
            Finish(request);
            timeIsUp = Clock::now() >= end;
        }
        staying_ = false;
        // After its time is up, the callers are likely to go on: the next run goes out at
        // once, to follow the paint and the layout that are already queued.
        if ((timeIsUp || !queue_.empty()) && !runPosted_) {
            PostRun(application);
        }
    }

    std::mutex mutex_;
    std::condition_variable callArrived_;  // for the UI thread in a run
    std::condition_variable callDone_;     // for the callers
    std::deque<Request*> queue_;
    std::atomic<std::size_t> queued_{0};  // queue_.size(), for a spin without the lock
    bool staying_ = false;                // the UI thread is in a run
    bool runPosted_ = false;              // a run is on its way to the UI thread
};

QtWindowOperations::QtWindowOperations(MainWindow* window)
    : window_(window), relay_(std::make_shared<Relay>()) {}

void QtWindowOperations::Revoke() {
    revoked_ = true;
}

template <typename Result, typename Operation>
Result QtWindowOperations::OnUiThread(Result emptyValue, Operation&& operation) {
    // Checked here as well, so that a revoked worker never waits on an event loop that
    // may have stopped.
    QCoreApplication* application = QCoreApplication::instance();
    if (revoked_ || application == nullptr) {
        return emptyValue;
    }
    Result result = emptyValue;
    auto onUiThread = [&] {
        if (!revoked_ && window_ != nullptr) {
            result = operation(*window_);
        }
    };
    if (QThread::currentThread() == application->thread()) {
        onUiThread();
    } else {
        // The application object lives on the UI thread until the process ends; should
        // it go first, the pending call is dropped and this returns.
        relay_->CarryOut(onUiThread, application);
    }
    return result;
}

template <typename Operation>
void QtWindowOperations::OnUiThread(Operation&& operation) {
    OnUiThread(false, [&](MainWindow& window) {
        operation(window);
        return true;
    });
}

void QtWindowOperations::SetStatusText(std::int32_t part, const Text& text) {
    if (part != 0) {
        return;
    }
    const QString shown = ToQString(text);
    OnUiThread([&](MainWindow& window) { window.statusPart()->setText(shown); });
}

std::int32_t QtWindowOperations::InsertRow() {
    return OnUiThread(std::int32_t{-1}, [](MainWindow& window) {
        SongList& list = *window.list();
        const std::int32_t row = list.topLevelItemCount();
        list.addTopLevelItem(new QTreeWidgetItem());
        return row;
    });
}

void QtWindowOperations::SetCellText(std::int32_t row, std::int32_t column, const Text& text) {
    if (!IsColumn(column)) {
        return;
    }
    const QString shown = ToQString(text);
    OnUiThread([&](MainWindow& window) {
        if (QTreeWidgetItem* item = Row(*window.list(), row)) {
            item->setText(column, shown);
        }
    });
}

Text QtWindowOperations::CellText(std::int32_t row, std::int32_t column) {
    if (!IsColumn(column)) {
        return {};
    }
    const QString shown = OnUiThread(QString(), [&](MainWindow& window) {
        QTreeWidgetItem* item = Row(*window.list(), row);
        return item != nullptr ? item->text(column) : QString();
    });
    return ToText(shown);
}

void QtWindowOperations::DeleteAllRows() {
    OnUiThread([](MainWindow& window) { window.list()->clear(); });
}

std::int32_t QtWindowOperations::RowCount() {
    return OnUiThread(std::int32_t{0},
                      [](MainWindow& window) { return window.list()->topLevelItemCount(); });
}

std::int32_t QtWindowOperations::SelectedRow() {
    return OnUiThread(std::int32_t{-1}, [](MainWindow& window) {
        const QList<QTreeWidgetItem*> selected = window.list()->selectedItems();
        return selected.isEmpty() ? -1 : window.list()->indexOfTopLevelItem(selected.first());
    });
}

void QtWindowOperations::SetMenuItemEnabled(MenuItem item, bool enabled) {
    OnUiThread([&](MainWindow& window) {
        if (QAction* action = window.menuAction(item)) {
            action->setEnabled(enabled);
        }
    });
}

void QtWindowOperations::PopupMenu() {
    OnUiThread([this](MainWindow& window) {
        const QPoint at =
            std::exchange(nextPopupPosition_, std::nullopt).value_or(QCursor::pos() + QPoint(3, 3));
        window.popupMenu()->exec(at);
    });
}

Text QtWindowOperations::EditBoxText() {
    return ToText(
        OnUiThread(QString(), [](MainWindow& window) { return window.editBox()->text(); }));
}

void QtWindowOperations::SetEditBoxText(const Text& text) {
    const QString shown = ToQString(text);
    OnUiThread([&](MainWindow& window) { window.editBox()->setText(shown); });
}

}  // namespace kavuro
