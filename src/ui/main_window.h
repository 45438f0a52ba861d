// MainWindow: Kavuro's one window and its controls. It carries the controls' own
// behaviour (layout, keys, focus, the edit filter, the links); what the program does with
// them is bound by the shell through the signals and accessors below.
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QSize>

#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "window/window_operations.h"
#include "window/window_store.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QShortcut;

namespace kavuro {

class Hyperlink;
class SongList;
class StoreUi;

// The address both links open, as the build was configured.
std::string_view HomepageUrl();
// What the edit box holds until the user first puts the focus into it.
inline constexpr std::string_view kInitialQqNumber = "1234567890";
// The client area: the controls above, the status bar docked below the list.
inline constexpr QSize kClientSize{486, 289};

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    SongList* list() const { return list_; }
    QLineEdit* editBox() const { return editBox_; }
    QPushButton* button() const { return button_; }
    QLabel* statusPart() const { return statusPart_; }
    QMenu* popupMenu() const { return menu_; }
    // The next pop-up of the menu opens with its top-left corner there (global
    // coordinates), not beside the pointer: the keyboard's pop-up. UI thread.
    void SetNextPopupPosition(QPoint globalPosition) { nextPopupPosition_ = globalPosition; }
    // Where the pop-up opens now: the place set for it, once, or 3 pixels right of and
    // below the pointer.
    QPoint TakePopupPosition();
    // nullptr for a value that names no item.
    QAction* menuAction(MenuItem item) const;
    // Ctrl+S anywhere in the window: "保存列表…" without the menu.
    QShortcut* saveShortcut() const { return saveShortcut_; }
    // The window's state as window operations read and write it, from any thread.
    const std::shared_ptr<WindowStore>& store() const { return store_; }
    // Shows the store's changes now instead of with the next frame.
    void ShowStoreChanges();

signals:
    // Every time the edit box receives the keyboard focus from elsewhere: click, Tab or
    // Shift+Tab, the window handing it back on reactivation.
    void editBoxFocusGained();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CentreOnScreen();

    SongList* list_ = nullptr;
    QLineEdit* editBox_ = nullptr;
    QPushButton* button_ = nullptr;
    QLabel* statusPart_ = nullptr;
    QMenu* menu_ = nullptr;
    std::array<QAction*, 5> menuActions_{};
    QShortcut* saveShortcut_ = nullptr;
    bool shownBefore_ = false;
    std::optional<QPoint> nextPopupPosition_;
    std::shared_ptr<WindowStore> store_;
    StoreUi* storeUi_ = nullptr;
};

}  // namespace kavuro
