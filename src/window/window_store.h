// WindowStore: the window's state (rows, status text, edit text, selected row) kept apart
// from the toolkit, so that a window operation from any thread is a short write or read
// under one lock: complete when it returns, with no trip to the UI thread. The UI thread
// shows the store's changes at most once a frame. Only what needs the widgets themselves
// (the pop-up menu, its items' states, replacing the edit text) is carried out on the UI
// thread, and a worker that calls one of those waits for it.
//
// StoreWindowOperations are the window operations over a store, one object per caller,
// so that each fetch can be revoked alone.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "text/text.h"
#include "window/window_operations.h"

namespace kavuro {

class StoreWindowOperations;

class WindowStore {
public:
    // The toolkit's side, on the UI thread.
    class Ui {
    public:
        virtual ~Ui() = default;
        // From any thread, with the store's lock held: asks the UI thread, without waiting
        // for it, to call ShowChanges soon. Not called again before ShowChanges has run.
        virtual void Wake() = 0;
        // On the UI thread, without the lock.
        virtual void SetMenuItemEnabled(MenuItem item, bool enabled) = 0;
        virtual void PopupMenu() = 0;
        // Must mirror the new text back through EditTextChanged before it returns.
        virtual void SetEditBoxText(const Text& text) = 0;
    };

    // What changed since the UI last took the changes.
    struct Changes {
        // Every row the UI showed has gone; the rows below, if any, are new.
        bool cleared = false;
        // The number of rows to show now.
        std::int32_t rows = 0;
        // Rows already shown whose cells changed, [firstChanged, lastChanged]; none when
        // firstChanged > lastChanged.
        std::int32_t firstChanged = 0;
        std::int32_t lastChanged = -1;
        bool statusChanged = false;
        Text status;
    };

    // A deque: appending never moves the rows already there, which would hold the lock
    // for milliseconds in a long list.
    using Rows = std::deque<std::array<Text, 2>>;

    explicit WindowStore(Text editText = {});
    WindowStore(const WindowStore&) = delete;
    WindowStore& operator=(const WindowStore&) = delete;

    // The UI side, all on the UI thread. Attach makes the calling thread the UI thread.
    void Attach(Ui& ui);
    // The window has gone: every later operation gives its empty value, and workers that
    // wait for the UI thread go on with theirs.
    void Close();
    // Also lets the UI be woken again.
    Changes TakeChanges();
    // Carries out the operations that workers handed to the UI thread, in order; those
    // of a caller revoked meanwhile are dropped.
    void RunUiCalls();
    // A cell's text as the store holds it now, for drawing; "" for a missing cell.
    Text CellTextForUi(std::int32_t row, std::int32_t column) const;
    // The UI's mirror of its own edit box and selection. A selection made on rows that
    // have been deleted since the UI last took the changes is no selection.
    void EditTextChanged(Text text);
    void SelectionChanged(std::int32_t row);

private:
    friend class StoreWindowOperations;

    // A worker's operation waiting for the UI thread.
    struct UiCall {
        const StoreWindowOperations* caller;
        void (*run)(void* context, Ui& ui);
        void* context;
        bool done = false;
    };

    // With the lock held.
    void Changed();
    void FinishUiCall(UiCall& call);

    mutable std::mutex mutex_;
    std::condition_variable uiCallDone_;
    Rows rows_;
    Text status_;
    Text editText_;
    std::int32_t selectedRow_ = -1;
    // What the UI has yet to show.
    bool cleared_ = false;
    bool statusChanged_ = false;
    std::int32_t shownRows_ = 0;  // rows the UI shows, as far as the store has told it
    std::int32_t firstChanged_ = 0;
    std::int32_t lastChanged_ = -1;
    bool woken_ = false;
    std::vector<UiCall*> uiCalls_;
    Ui* ui_ = nullptr;
    std::thread::id uiThread_;
    bool closed_ = false;
};

class StoreWindowOperations : public WindowOperations {
public:
    explicit StoreWindowOperations(std::shared_ptr<WindowStore> store);

    // From its return on, no call of this object changes anything, not even one that
    // already waits for the UI thread; every call gives its empty value.
    void Revoke();

    void SetStatusText(std::int32_t part, const Text& text) override;
    std::int32_t InsertRow() override;
    void SetCellText(std::int32_t row, std::int32_t column, const Text& text) override;
    Text CellText(std::int32_t row, std::int32_t column) override;
    void DeleteAllRows() override;
    std::int32_t RowCount() override;
    std::int32_t SelectedRow() override;
    // These three need the widgets: carried out directly on the UI thread, handed to it
    // and waited for from any other. Without a UI, SetEditBoxText replaces the store's
    // edit text and the other two do nothing.
    void SetMenuItemEnabled(MenuItem item, bool enabled) override;
    void PopupMenu() override;
    Text EditBoxText() override;
    void SetEditBoxText(const Text& text) override;

private:
    friend class WindowStore;

    // With the store's lock held: whether this caller may still read or change it.
    bool Usable() const;
    template <typename Call>
    void OnUi(Call&& call);

    std::shared_ptr<WindowStore> store_;
    bool revoked_ = false;  // guarded by the store's lock
};

}  // namespace kavuro
