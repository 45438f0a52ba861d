#include "window/window_store.h"

#include <algorithm>
#include <limits>
#include <system_error>
#include <type_traits>
#include <utility>

namespace kavuro {
namespace {

bool IsColumn(std::int32_t column) {
    return column == 0 || column == 1;
}

// Freeing a hundred thousand rows takes tens of milliseconds, a visible stall when the
// user clears the list on the UI thread: a long list is freed on a thread of its own.
constexpr std::size_t kFreeAsideRows = 10'000;

void FreeAside(WindowStore::Rows rows) {
    if (rows.size() < kFreeAsideRows) {
        return;
    }
    try {
        std::thread([gone = std::move(rows)] {}).detach();
    } catch (const std::system_error&) {
        // No thread: freed here after all.
    }
}

}  // namespace

WindowStore::WindowStore(Text editText) : editText_(std::move(editText)) {}

void WindowStore::Attach(Ui& ui) {
    const std::lock_guard lock(mutex_);
    ui_ = &ui;
    uiThread_ = std::this_thread::get_id();
    Changed();
}

void WindowStore::Close() {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    ui_ = nullptr;
    for (UiCall* call : uiCalls_) {
        FinishUiCall(*call);
    }
    uiCalls_.clear();
}

WindowStore::Changes WindowStore::TakeChanges() {
    const std::lock_guard lock(mutex_);
    Changes changes;
    changes.cleared = std::exchange(cleared_, false);
    changes.rows = static_cast<std::int32_t>(rows_.size());
    changes.firstChanged = std::exchange(firstChanged_, 0);
    changes.lastChanged = std::exchange(lastChanged_, -1);
    changes.statusChanged = std::exchange(statusChanged_, false);
    if (changes.statusChanged) {
        changes.status = status_;
    }
    shownRows_ = changes.rows;
    woken_ = false;
    return changes;
}

void WindowStore::RunUiCalls() {
    std::unique_lock lock(mutex_);
    while (!uiCalls_.empty() && ui_ != nullptr) {
        UiCall& call = *uiCalls_.front();
        uiCalls_.erase(uiCalls_.begin());
        if (!call.caller->Usable()) {
            FinishUiCall(call);
            continue;
        }
        Ui& ui = *ui_;
        // Without the lock: the call may open a pop-up, whose event loop shows changes.
        lock.unlock();
        try {
            call.run(call.context, ui);
        } catch (...) {
            lock.lock();
            FinishUiCall(call);
            throw;
        }
        lock.lock();
        FinishUiCall(call);
    }
}

Text WindowStore::CellTextForUi(std::int32_t row, std::int32_t column) const {
    const std::lock_guard lock(mutex_);
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size() || !IsColumn(column)) {
        return {};
    }
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void WindowStore::EditTextChanged(Text text) {
    const std::lock_guard lock(mutex_);
    editText_ = std::move(text);
}

void WindowStore::SelectionChanged(std::int32_t row) {
    const std::lock_guard lock(mutex_);
    // Rows deleted but still shown: the UI's row numbers no longer name store rows.
    const bool current = !cleared_ && row >= 0 && row < shownRows_;
    selectedRow_ = current ? row : -1;
}

void WindowStore::Changed() {
    if (!woken_ && ui_ != nullptr) {
        woken_ = true;
        ui_->Wake();
    }
}

void WindowStore::FinishUiCall(UiCall& call) {
    call.done = true;
    uiCallDone_.notify_all();
}

StoreWindowOperations::StoreWindowOperations(std::shared_ptr<WindowStore> store)
    : store_(std::move(store)) {}

void StoreWindowOperations::Revoke() {
    const std::lock_guard lock(store_->mutex_);
    revoked_ = true;
}

bool StoreWindowOperations::Usable() const {
    return !revoked_ && !store_->closed_;
}

void StoreWindowOperations::SetStatusText(std::int32_t part, const Text& text) {
    if (part != 0) {
        return;
    }
    Text copy = text;  // copied before the lock, and the old text freed after it
    const std::lock_guard lock(store_->mutex_);
    if (!Usable()) {
        return;
    }
    std::swap(store_->status_, copy);
    store_->statusChanged_ = true;
    store_->Changed();
}

std::int32_t StoreWindowOperations::InsertRow() {
    const std::lock_guard lock(store_->mutex_);
    if (!Usable() || store_->rows_.size() >=
                         static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return -1;
    }
    store_->rows_.emplace_back();
    store_->Changed();
    return static_cast<std::int32_t>(store_->rows_.size() - 1);
}

void StoreWindowOperations::SetCellText(std::int32_t row, std::int32_t column, const Text& text) {
    if (!IsColumn(column) || row < 0) {
        return;
    }
    Text copy = text;
    const std::lock_guard lock(store_->mutex_);
    WindowStore& store = *store_;
    if (!Usable() || static_cast<std::size_t>(row) >= store.rows_.size()) {
        return;
    }
    std::swap(store.rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)], copy);
    if (row < store.shownRows_) {
        if (store.firstChanged_ > store.lastChanged_) {
            store.firstChanged_ = row;
            store.lastChanged_ = row;
        } else {
            store.firstChanged_ = std::min(store.firstChanged_, row);
            store.lastChanged_ = std::max(store.lastChanged_, row);
        }
    }
    store.Changed();
}

Text StoreWindowOperations::CellText(std::int32_t row, std::int32_t column) {
    const std::lock_guard lock(store_->mutex_);
    if (!Usable()) {
        return {};
    }
    const WindowStore::Rows& rows = store_->rows_;
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size() || !IsColumn(column)) {
        return {};
    }
    return rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void StoreWindowOperations::DeleteAllRows() {
    WindowStore::Rows gone;
    {
        const std::lock_guard lock(store_->mutex_);
        WindowStore& store = *store_;
        if (!Usable()) {
            return;
        }
        gone.swap(store.rows_);
        store.selectedRow_ = -1;
        store.cleared_ = store.cleared_ || store.shownRows_ > 0;
        store.shownRows_ = 0;
        store.firstChanged_ = 0;
        store.lastChanged_ = -1;
        store.Changed();
    }
    FreeAside(std::move(gone));
}

std::int32_t StoreWindowOperations::RowCount() {
    const std::lock_guard lock(store_->mutex_);
    return Usable() ? static_cast<std::int32_t>(store_->rows_.size()) : 0;
}

std::int32_t StoreWindowOperations::SelectedRow() {
    const std::lock_guard lock(store_->mutex_);
    return Usable() ? store_->selectedRow_ : -1;
}

template <typename Call>
void StoreWindowOperations::OnUi(Call&& call) {
    WindowStore& store = *store_;
    std::unique_lock lock(store.mutex_);
    if (!Usable() || store.ui_ == nullptr) {
        return;
    }
    if (std::this_thread::get_id() == store.uiThread_) {
        WindowStore::Ui& ui = *store.ui_;
        lock.unlock();
        call(ui);
        return;
    }
    // The check above and the hand-over are one step under the lock: the UI detaches
    // under it too, so the call never reaches a UI that has gone.
    using Stored = std::remove_reference_t<Call>;
    WindowStore::UiCall uiCall{
        this, [](void* context, WindowStore::Ui& ui) { (*static_cast<Stored*>(context))(ui); },
        &call};
    store.uiCalls_.push_back(&uiCall);
    store.Changed();
    store.uiCallDone_.wait(lock, [&] { return uiCall.done; });
}

void StoreWindowOperations::SetMenuItemEnabled(MenuItem item, bool enabled) {
    OnUi([&](WindowStore::Ui& ui) { ui.SetMenuItemEnabled(item, enabled); });
}

void StoreWindowOperations::PopupMenu() {
    OnUi([](WindowStore::Ui& ui) { ui.PopupMenu(); });
}

Text StoreWindowOperations::EditBoxText() {
    const std::lock_guard lock(store_->mutex_);
    return Usable() ? store_->editText_ : Text();
}

void StoreWindowOperations::SetEditBoxText(const Text& text) {
    {
        const std::lock_guard lock(store_->mutex_);
        if (!Usable()) {
            return;
        }
        if (store_->ui_ == nullptr) {
            store_->editText_ = text;
            return;
        }
    }
    OnUi([&](WindowStore::Ui& ui) { ui.SetEditBoxText(text); });
}

}  // namespace kavuro
