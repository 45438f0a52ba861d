// QtWindowOperations: WindowOperations carried out on the main window.
//
// Each fetch gets an object of its own, so that it can be revoked alone: from the moment
// the UI thread revokes it (a new press, the window closing), none of its calls touches
// the window again, even one already queued. Revocation and the check before every
// widget access both happen on the UI thread, so nothing slips in between.
//
// A worker's calls reach the UI thread in runs: the UI thread carries out one call and
// stays for the next ones, handed over directly, for a few milliseconds at most; between
// runs it paints, lays out and takes the user's input. A trip through the event loop for
// every call would paint the window and lay all the list's rows out again each time,
// which costs a hundred times more than the call.
#pragma once

#include <QPoint>
#include <QPointer>

#include <atomic>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "ui/main_window.h"
#include "window/window_operations.h"

namespace kavuro {

class QtWindowOperations final : public WindowOperations {
public:
    // UI thread only, like Revoke.
    explicit QtWindowOperations(MainWindow* window);
    // Every later call changes nothing and gives its empty value at once.
    void Revoke();
    // The next PopupMenu opens with its top-left corner there (global coordinates) instead
    // of beside the pointer: a pop-up asked for from the keyboard has no pointer to
    // follow. UI thread only.
    void SetNextPopupPosition(QPoint globalPosition) { nextPopupPosition_ = globalPosition; }

    void SetStatusText(std::int32_t part, const Text& text) override;
    std::int32_t InsertRow() override;
    void SetCellText(std::int32_t row, std::int32_t column, const Text& text) override;
    Text CellText(std::int32_t row, std::int32_t column) override;
    void DeleteAllRows() override;
    std::int32_t RowCount() override;
    std::int32_t SelectedRow() override;
    void SetMenuItemEnabled(MenuItem item, bool enabled) override;
    void PopupMenu() override;
    Text EditBoxText() override;
    void SetEditBoxText(const Text& text) override;

private:
    // Runs operation(window) on the UI thread and gives its result, or emptyValue when
    // the operations are revoked or the window has gone.
    template <typename Result, typename Operation>
    Result OnUiThread(Result emptyValue, Operation&& operation);
    template <typename Operation>
    void OnUiThread(Operation&& operation);

    class Relay;

    QPointer<MainWindow> window_;              // read on the UI thread only
    std::optional<QPoint> nextPopupPosition_;  // UI thread only
    std::atomic<bool> revoked_{false};
    std::shared_ptr<Relay> relay_;
};

}  // namespace kavuro
