// Window operations on the main window: the window keeps its state in a WindowStore,
// which the operations read and write from any thread without waiting for the UI thread;
// StoreUi shows the store's changes on the window, at most once a frame.
//
// Each fetch gets a QtWindowOperations of its own, so that it can be revoked alone: from
// the moment Revoke returns (a new press, the window closing), none of its calls changes
// anything, not even one already waiting for the UI thread.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <memory>

#include "window/window_store.h"

namespace kavuro {

class MainWindow;

class QtWindowOperations final : public StoreWindowOperations {
public:
    // UI thread. Without a window, every call gives its empty value.
    explicit QtWindowOperations(MainWindow* window);
};

// The window's side of its store: it shows the store's rows and status text, mirrors the
// edit box into the store, and carries out the operations that need the widgets. Made by
// the window as its child; when it goes, the store is closed.
class StoreUi final : public QObject, public WindowStore::Ui {
    Q_OBJECT
public:
    StoreUi(MainWindow& window, std::shared_ptr<WindowStore> store);
    ~StoreUi() override;

    // Shows every change the store holds now.
    void ShowNow();

    void Wake() override;
    void SetMenuItemEnabled(MenuItem item, bool enabled) override;
    void PopupMenu() override;
    void SetEditBoxText(const Text& text) override;

    // The event that Wake posts.
    static QEvent::Type WakeEvent();

protected:
    void customEvent(QEvent* event) override;

private:
    MainWindow& window_;
    std::shared_ptr<WindowStore> store_;
    QElapsedTimer sinceShown_;
    qint64 lastShowingMs_ = 0;
    QTimer nextFrame_;
};

}  // namespace kavuro
