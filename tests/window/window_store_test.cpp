// The window store without a toolkit: its operations, what it tells the UI, and its
// threads (writers, readers and a UI loop of its own), meant to run under the thread
// sanitizer too.
#include "window/window_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kavuro {
namespace {

using namespace std::chrono_literals;

// A UI thread of its own that shows the store's changes whenever it is woken, as a
// toolkit's event loop would: it keeps its own copy of what it shows.
class FakeUi final : public WindowStore::Ui {
public:
    explicit FakeUi(std::shared_ptr<WindowStore> store) : store_(std::move(store)) {
        thread_ = std::thread([this] { Loop(); });
        std::unique_lock lock(mutex_);
        woken_.wait(lock, [&] { return attached_; });
    }
    ~FakeUi() override { Stop(); }

    // Closes the store on the UI thread, as a window going would, and ends the loop.
    void Stop() {
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            stopping_ = true;
        }
        woken_.notify_all();
        thread_.join();
    }

    // Holds the UI thread: it takes no wake-up until Release.
    void Hold() {
        const std::lock_guard lock(mutex_);
        held_ = true;
    }
    void Release() {
        {
            const std::lock_guard lock(mutex_);
            held_ = false;
        }
        woken_.notify_all();
    }
    // Waits until the UI has been woken (and, if held, not yet shown the changes).
    void WaitForWake() {
        std::unique_lock lock(mutex_);
        woken_.wait(lock, [&] { return wakes_ > 0; });
    }
    // Whether the UI comes to show these first cells (it shows changes a little later).
    bool Shows(const std::vector<std::string>& column0) {
        std::unique_lock lock(mutex_);
        return shownChanged_.wait_for(lock, 10s, [&] { return shown_ == column0; });
    }
    int Popups() const {
        const std::lock_guard lock(mutex_);
        return popups_;
    }

    void Wake() override {
        // With the store's lock held: only a flag and a notification.
        {
            const std::lock_guard lock(mutex_);
            ++wakes_;
        }
        woken_.notify_all();
    }
    void SetMenuItemEnabled(MenuItem, bool) override {}
    void PopupMenu() override {
        const std::lock_guard lock(mutex_);
        ++popups_;
    }
    void SetEditBoxText(const Text& text) override { store_->EditTextChanged(text); }

private:
    void Loop() {
        store_->Attach(*this);
        Show(store_->TakeChanges());
        {
            const std::lock_guard lock(mutex_);
            attached_ = true;
            wakes_ = 0;
        }
        woken_.notify_all();
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                woken_.wait(lock, [&] { return stopping_ || (wakes_ > 0 && !held_); });
                if (stopping_) {
                    break;
                }
                wakes_ = 0;
            }
            Show(store_->TakeChanges());
            store_->RunUiCalls();
        }
        store_->Close();
    }

    // Reads the store without this object's lock, which Wake takes under the store's.
    // shown_ changes only here, on the UI thread.
    void Show(const WindowStore::Changes& changes) {
        std::vector<std::string> shown = changes.cleared ? std::vector<std::string>() : shown_;
        for (std::int32_t row = changes.firstChanged;
             row <= changes.lastChanged && row < static_cast<std::int32_t>(shown.size()); ++row) {
            shown[static_cast<std::size_t>(row)] = store_->CellTextForUi(row, 0);
        }
        for (auto row = static_cast<std::int32_t>(shown.size()); row < changes.rows; ++row) {
            shown.push_back(store_->CellTextForUi(row, 0));
        }
        {
            const std::lock_guard lock(mutex_);
            shown_ = std::move(shown);
        }
        shownChanged_.notify_all();
    }

    std::shared_ptr<WindowStore> store_;
    mutable std::mutex mutex_;
    std::condition_variable woken_;
    std::condition_variable shownChanged_;
    std::thread thread_;
    bool attached_ = false;
    bool stopping_ = false;
    bool held_ = false;
    int wakes_ = 0;
    int popups_ = 0;
    std::vector<std::string> shown_;
};

class WindowStoreTest : public testing::Test {
protected:
    std::shared_ptr<WindowStore> store = std::make_shared<WindowStore>("1234567890");
    StoreWindowOperations operations{store};
};

TEST_F(WindowStoreTest, RowsAreAppendedAndReadBackWhole) {
    EXPECT_EQ(operations.RowCount(), 0);
    for (std::int32_t expected = 0; expected < 3; ++expected) {
        EXPECT_EQ(operations.InsertRow(), expected);
    }
    const Text longAddress = "http://music.example/" + std::string(2000, 'a');
    operations.SetCellText(1, 1, longAddress);
    EXPECT_EQ(operations.CellText(1, 1), longAddress);
    EXPECT_EQ(operations.CellText(1, 0), "");
    EXPECT_EQ(operations.RowCount(), 3);
}

TEST_F(WindowStoreTest, ALongListIsDeletedWholeAndStartsAgainAtZero) {
    for (int row = 0; row < 20'000; ++row) {
        operations.SetCellText(operations.InsertRow(), 1,
                               "http://music.example/" + std::to_string(row));
    }
    store->TakeChanges();
    store->SelectionChanged(19'999);
    operations.DeleteAllRows();
    EXPECT_EQ(operations.RowCount(), 0);
    EXPECT_EQ(operations.SelectedRow(), -1);
    EXPECT_EQ(operations.CellText(0, 1), "");
    EXPECT_EQ(operations.InsertRow(), 0);
    EXPECT_TRUE(store->TakeChanges().cleared);
}

TEST_F(WindowStoreTest, MissingRowsAndColumnsReadEmptyAndIgnoreWrites) {
    operations.InsertRow();
    operations.SetCellText(0, 0, "kept");
    for (auto [row, column] : {std::pair{-1, 0}, {1, 0}, {0, 2}, {0, -1}, {-5, 1}}) {
        operations.SetCellText(row, column, "x");
        EXPECT_EQ(operations.CellText(row, column), "") << row << "," << column;
    }
    EXPECT_EQ(operations.CellText(0, 0), "kept");
    EXPECT_EQ(store->CellTextForUi(0, 0), "kept");
    EXPECT_EQ(store->CellTextForUi(0, 2), "");
}

TEST_F(WindowStoreTest, WithoutAUiTheEditTextIsTheStoresAndThePopupDoesNothing) {
    EXPECT_EQ(operations.EditBoxText(), "1234567890");
    operations.SetEditBoxText("42");
    EXPECT_EQ(operations.EditBoxText(), "42");
    operations.PopupMenu();
    operations.SetMenuItemEnabled(MenuItem::ClearAll, false);
}

TEST_F(WindowStoreTest, TheUiIsToldWhatChangedSinceItLastLooked) {
    operations.SetStatusText(0, "first");
    operations.SetStatusText(1, "other part");
    operations.InsertRow();
    operations.InsertRow();
    WindowStore::Changes changes = store->TakeChanges();
    EXPECT_FALSE(changes.cleared);
    EXPECT_EQ(changes.rows, 2);
    EXPECT_TRUE(changes.statusChanged);
    EXPECT_EQ(changes.status, "first");
    EXPECT_GT(changes.firstChanged, changes.lastChanged);

    // Cells of shown rows come as a range; a new row's cells come with the row.
    operations.SetCellText(1, 0, "b");
    operations.SetCellText(0, 1, "a");
    operations.SetCellText(operations.InsertRow(), 0, "c");
    changes = store->TakeChanges();
    EXPECT_EQ(changes.firstChanged, 0);
    EXPECT_EQ(changes.lastChanged, 1);
    EXPECT_EQ(changes.rows, 3);
    EXPECT_FALSE(changes.statusChanged);

    operations.DeleteAllRows();
    operations.InsertRow();
    changes = store->TakeChanges();
    EXPECT_TRUE(changes.cleared);
    EXPECT_EQ(changes.rows, 1);
    EXPECT_GT(changes.firstChanged, changes.lastChanged);
}

TEST_F(WindowStoreTest, ASelectionFollowsTheUiUntilTheRowsAreDeleted) {
    for (int i = 0; i < 3; ++i) {
        operations.InsertRow();
    }
    EXPECT_EQ(operations.SelectedRow(), -1);
    store->TakeChanges();
    store->SelectionChanged(2);
    EXPECT_EQ(operations.SelectedRow(), 2);
    operations.DeleteAllRows();
    EXPECT_EQ(operations.SelectedRow(), -1);
    operations.InsertRow();
    // The UI has not yet shown the deletion: its row 1 is an old row.
    store->SelectionChanged(1);
    EXPECT_EQ(operations.SelectedRow(), -1);
    store->TakeChanges();
    store->SelectionChanged(0);
    EXPECT_EQ(operations.SelectedRow(), 0);
    store->SelectionChanged(5);
    EXPECT_EQ(operations.SelectedRow(), -1);
}

TEST_F(WindowStoreTest, RevokedOrClosedOperationsChangeNothingAndGiveEmptyValues) {
    operations.SetCellText(operations.InsertRow(), 0, "a");
    store->TakeChanges();
    store->SelectionChanged(0);
    StoreWindowOperations other(store);
    for (bool closeStore : {false, true}) {
        if (closeStore) {
            store->Close();
        } else {
            other.Revoke();
        }
        StoreWindowOperations& gone = closeStore ? operations : other;
        gone.SetStatusText(0, "changed");
        EXPECT_EQ(gone.InsertRow(), -1);
        gone.SetCellText(0, 0, "changed");
        EXPECT_EQ(gone.CellText(0, 0), "");
        gone.DeleteAllRows();
        EXPECT_EQ(gone.RowCount(), 0);
        EXPECT_EQ(gone.SelectedRow(), -1);
        gone.SetEditBoxText("changed");
        EXPECT_EQ(gone.EditBoxText(), "");
        gone.PopupMenu();
    }
    EXPECT_EQ(store->CellTextForUi(0, 0), "a");
    EXPECT_FALSE(store->TakeChanges().statusChanged);
}

TEST_F(WindowStoreTest, WritersReadersAndTheUiMeetWithoutLosingOrReordering) {
    FakeUi ui(store);
    constexpr std::int32_t kRowsEach = 3'000;
    std::vector<std::int32_t> indexes[2];
    std::atomic<bool> writing{true};
    std::thread writers[2];
    for (int writer = 0; writer < 2; ++writer) {
        writers[writer] = std::thread([&, writer] {
            StoreWindowOperations own(store);
            for (std::int32_t row = 0; row < kRowsEach; ++row) {
                const std::int32_t index = own.InsertRow();
                indexes[writer].push_back(index);
                own.SetCellText(index, 0, std::to_string(writer));
                own.SetStatusText(0, std::to_string(row));
            }
        });
    }
    std::thread reader([&] {
        StoreWindowOperations own(store);
        std::int32_t seen = 0;
        while (writing) {
            const std::int32_t rows = own.RowCount();
            EXPECT_GE(rows, seen);  // rows only grow here
            seen = rows;
            own.CellText(rows - 1, 0);
            own.EditBoxText();
        }
    });
    for (std::thread& writer : writers) {
        writer.join();
    }
    writing = false;
    reader.join();

    ASSERT_EQ(operations.RowCount(), 2 * kRowsEach);
    std::vector<std::string> expected(2 * kRowsEach);
    for (int writer = 0; writer < 2; ++writer) {
        ASSERT_TRUE(std::is_sorted(indexes[writer].begin(), indexes[writer].end()));
        for (const std::int32_t index : indexes[writer]) {
            ASSERT_EQ(operations.CellText(index, 0), std::to_string(writer));
            expected[static_cast<std::size_t>(index)] = std::to_string(writer);
        }
    }
    EXPECT_TRUE(ui.Shows(expected));
}

TEST_F(WindowStoreTest, AClearBetweenWritesLeavesTheUiShowingWhatTheStoreHolds) {
    FakeUi ui(store);
    std::thread writer([&] {
        StoreWindowOperations own(store);
        for (int round = 0; round < 200; ++round) {
            own.DeleteAllRows();
            for (int row = 0; row < 20; ++row) {
                own.SetCellText(own.InsertRow(), 0, std::to_string(round));
            }
        }
    });
    for (int i = 0; i < 100; ++i) {
        operations.DeleteAllRows();  // the user's "clear all" among them
    }
    writer.join();
    std::vector<std::string> expected;
    for (std::int32_t row = 0; row < operations.RowCount(); ++row) {
        expected.push_back(operations.CellText(row, 0));
    }
    // The user's clears may have cut the writer's last round short, never mixed rounds.
    EXPECT_LE(expected.size(), 20u);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), "199"),
              static_cast<std::ptrdiff_t>(expected.size()));
    EXPECT_TRUE(ui.Shows(expected));
}

// However the revocation and a worker's writes fall, nothing the worker does after
// Revoke has returned is seen.
TEST_F(WindowStoreTest, NothingChangesAfterRevokeReturns) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        auto fetch = std::make_shared<StoreWindowOperations>(store);
        std::atomic<bool> started{false};
        std::atomic<bool> stop{false};
        std::thread worker([&] {
            while (!stop) {
                fetch->SetCellText(fetch->InsertRow(), 0, "late");
                fetch->SetStatusText(0, "late");
                started = true;
            }
        });
        while (!started) {
            std::this_thread::yield();
        }
        fetch->Revoke();
        const std::int32_t rows = operations.RowCount();
        const Text lastCell = operations.CellText(rows - 1, 0);
        store->TakeChanges();
        std::this_thread::sleep_for(1ms);
        stop = true;
        worker.join();
        EXPECT_EQ(operations.RowCount(), rows);
        EXPECT_EQ(operations.CellText(rows - 1, 0), lastCell);
        const WindowStore::Changes changes = store->TakeChanges();
        EXPECT_FALSE(changes.statusChanged);
        EXPECT_GT(changes.firstChanged, changes.lastChanged);
        operations.DeleteAllRows();
    }
}

TEST_F(WindowStoreTest, AWorkersCallOfTheWidgetsIsCarriedOutOnTheUiThreadBeforeItReturns) {
    FakeUi ui(store);
    std::thread worker([&] {
        StoreWindowOperations own(store);
        own.SetEditBoxText("777");
        EXPECT_EQ(own.EditBoxText(), "777");
        own.PopupMenu();
    });
    worker.join();
    EXPECT_EQ(ui.Popups(), 1);
}

TEST_F(WindowStoreTest, ACallWaitingForTheUiThreadIsDroppedWhenRevokedOrClosed) {
    for (bool closeStore : {false, true}) {
        auto fresh = std::make_shared<WindowStore>("1");
        FakeUi ui(fresh);
        ui.Hold();
        StoreWindowOperations fetch(fresh);
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            fetch.SetEditBoxText("late");
            fetch.PopupMenu();
            returned = true;
        });
        ui.WaitForWake();
        if (closeStore) {
            ui.Stop();  // the loop closes the store on its way out
        } else {
            fetch.Revoke();
            ui.Release();
        }
        worker.join();
        EXPECT_TRUE(returned);
        EXPECT_EQ(StoreWindowOperations(fresh).EditBoxText(), closeStore ? "" : "1");
        EXPECT_EQ(ui.Popups(), 0);
    }
}

}  // namespace
}  // namespace kavuro
