#include "ui/qt_window_operations.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

#include <algorithm>

#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/song_list.h"

namespace kavuro {
namespace {

// The store's changes are shown at most once per frame: however fast a fetch writes,
// the list lays its rows out and the window paints some sixty times a second at most.
constexpr qint64 kFrameMs = 16;
// Laying out a long list takes milliseconds each time: the UI thread waits this many
// times as long as the last showing took before the next, so that it leaves the cores
// to the fetch for most of the time.
constexpr qint64 kRestPerBusy = 2;

std::shared_ptr<WindowStore> StoreOf(MainWindow* window) {
    if (window != nullptr) {
        return window->store();
    }
    auto closed = std::make_shared<WindowStore>();
    closed->Close();
    return closed;
}

}  // namespace

QtWindowOperations::QtWindowOperations(MainWindow* window)
    : StoreWindowOperations(StoreOf(window)) {}

StoreUi::StoreUi(MainWindow& window, std::shared_ptr<WindowStore> store)
    : QObject(&window), window_(window), store_(std::move(store)) {
    nextFrame_.setSingleShot(true);
    connect(&nextFrame_, &QTimer::timeout, this, &StoreUi::ShowNow);
    connect(window.editBox(), &QLineEdit::textChanged, this,
            [this](const QString& text) { store_->EditTextChanged(ToText(text)); });
    connect(window.list(), &SongList::userActs, this, &StoreUi::ShowNow);
    store_->Attach(*this);
}

// Closing takes the store's lock, so that no worker wakes this object once it is gone.
StoreUi::~StoreUi() {
    store_->Close();
}

QEvent::Type StoreUi::WakeEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void StoreUi::Wake() {
    QCoreApplication::postEvent(this, new QEvent(WakeEvent()));
}

void StoreUi::customEvent(QEvent* event) {
    if (event->type() != WakeEvent()) {
        return;
    }
    const qint64 intervalMs = std::max(kFrameMs, kRestPerBusy * lastShowingMs_);
    const qint64 sinceMs = sinceShown_.isValid() ? sinceShown_.elapsed() : intervalMs;
    if (sinceMs >= intervalMs) {
        ShowNow();
    } else if (!nextFrame_.isActive()) {
        nextFrame_.start(static_cast<int>(intervalMs - sinceMs));
    }
}

void StoreUi::ShowNow() {
    sinceShown_.start();
    nextFrame_.stop();
    const WindowStore::Changes changes = store_->TakeChanges();
    SongList& list = *window_.list();
    const int rowsBefore = list.songs()->rowCount();
    list.songs()->Show(changes);
    if (changes.cleared || changes.rows != rowsBefore) {
        list.doItemsLayout();  // now, so that its time counts for the next interval
    }
    if (changes.statusChanged) {
        window_.statusPart()->setText(ToQString(changes.status));
    }
    lastShowingMs_ = sinceShown_.elapsed();
    store_->RunUiCalls();
}

void StoreUi::SetMenuItemEnabled(MenuItem item, bool enabled) {
    if (QAction* action = window_.menuAction(item)) {
        action->setEnabled(enabled);
    }
}

void StoreUi::PopupMenu() {
    window_.popupMenu()->exec(window_.TakePopupPosition());
}

void StoreUi::SetEditBoxText(const Text& text) {
    window_.editBox()->setText(ToQString(text));
}

}  // namespace kavuro
