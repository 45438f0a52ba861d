#include "ui/qt_window_operations.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "ui/main_window.h"
#include "ui/song_list.h"

namespace kavuro {
namespace {

using test::WaitUntil;

const Text kSongName = "\xB8\xE8\xC3\xFB-\xB8\xE8\xCA\xD6";  // 歌名-歌手 in GBK

class QtWindowOperationsTest : public testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        operations = std::make_unique<QtWindowOperations>(window.get());
    }

    // Runs body on a worker thread and keeps the UI thread taking events until it ends.
    void OnWorker(const std::function<void()>& body) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            body();
            done = true;
        });
        EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
        worker.join();
    }

    // What the window shows, once it has taken the store's changes.
    int ShownRows() {
        window->ShowStoreChanges();
        return window->list()->model()->rowCount();
    }
    QString ShownCell(int row, int column) {
        window->ShowStoreChanges();
        return window->list()->model()->index(row, column).data().toString();
    }
    QString ShownStatus() {
        window->ShowStoreChanges();
        return window->statusPart()->text();
    }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QtWindowOperations> operations;
};

TEST_F(QtWindowOperationsTest, InsertRowGivesTheNumberOfRowsBefore) {
    EXPECT_EQ(operations->RowCount(), 0);
    for (std::int32_t expected = 0; expected < 5; ++expected) {
        EXPECT_EQ(operations->InsertRow(), expected);
    }
    EXPECT_EQ(operations->RowCount(), 5);
    EXPECT_EQ(ShownRows(), 5);
    EXPECT_EQ(operations->CellText(4, 0), "");
    EXPECT_EQ(operations->CellText(4, 1), "");
}

TEST_F(QtWindowOperationsTest, CellsHoldGbkTextsWholeAndShowThemAsUnicode) {
    const Text longAddress = "http://music.example/" + std::string(1979, 'a');
    ASSERT_EQ(longAddress.size(), 2000u);
    operations->InsertRow();
    operations->SetCellText(0, 0, kSongName);
    operations->SetCellText(0, 1, longAddress);
    EXPECT_EQ(ShownCell(0, 0), QStringLiteral("歌名-歌手"));
    EXPECT_EQ(operations->CellText(0, 0), kSongName);
    EXPECT_EQ(operations->CellText(0, 1), longAddress);
}

TEST_F(QtWindowOperationsTest, MissingRowsAndColumnsReadEmptyAndIgnoreWrites) {
    operations->InsertRow();
    operations->SetCellText(0, 0, "kept");
    for (auto [row, column] : {std::pair{-1, 0}, {1, 0}, {0, 2}, {0, -1}, {-5, 1}}) {
        operations->SetCellText(row, column, "x");
        EXPECT_EQ(operations->CellText(row, column), "") << row << "," << column;
    }
    EXPECT_EQ(operations->RowCount(), 1);
    EXPECT_EQ(operations->CellText(0, 0), "kept");
    EXPECT_EQ(operations->CellText(0, 1), "");
}

TEST_F(QtWindowOperationsTest, StatusTextHasOnlyPartZero) {
    operations->SetStatusText(0, kSongName);
    EXPECT_EQ(ShownStatus(), QStringLiteral("歌名-歌手"));
    operations->SetStatusText(1, "other");
    operations->SetStatusText(-1, "other");
    EXPECT_EQ(ShownStatus(), QStringLiteral("歌名-歌手"));
    operations->SetStatusText(0, "<b>1</b>");
    EXPECT_EQ(window->statusPart()->textFormat(), Qt::PlainText);
    EXPECT_EQ(ShownStatus(), "<b>1</b>");
}

TEST_F(QtWindowOperationsTest, SelectedRowFollowsTheListAndDeleteAllRowsClearsIt) {
    EXPECT_EQ(operations->SelectedRow(), -1);
    for (int i = 0; i < 3; ++i) {
        operations->InsertRow();
    }
    window->ShowStoreChanges();
    window->list()->selectRow(2);
    EXPECT_EQ(operations->SelectedRow(), 2);
    operations->DeleteAllRows();
    EXPECT_EQ(operations->RowCount(), 0);
    EXPECT_EQ(operations->SelectedRow(), -1);
    // A selection made on the rows still shown, already deleted, selects nothing.
    window->list()->selectRow(1);
    EXPECT_EQ(operations->SelectedRow(), -1);
    EXPECT_EQ(operations->InsertRow(), 0);
    EXPECT_EQ(ShownRows(), 1);
    EXPECT_EQ(window->list()->selectedRow(), -1);
    EXPECT_EQ(operations->SelectedRow(), -1);
}

TEST_F(QtWindowOperationsTest, EditBoxTextIsReadAndReplacedWhole) {
    EXPECT_EQ(operations->EditBoxText(), "1234567890");
    operations->SetEditBoxText(kSongName);
    EXPECT_EQ(window->editBox()->text(), QStringLiteral("歌名-歌手"));
    EXPECT_EQ(operations->EditBoxText(), kSongName);
    operations->SetEditBoxText("");
    EXPECT_EQ(operations->EditBoxText(), "");
}

TEST_F(QtWindowOperationsTest, PopupMenuOpensBesideThePointerWithTheStoredStates) {
    QCursor::setPos(window->mapToGlobal(QPoint(100, 100)));
    const QPoint pointer = QCursor::pos();
    operations->SetMenuItemEnabled(MenuItem::CopyAddress, false);
    EXPECT_TRUE(window->menuAction(MenuItem::CopyAddress)->isEnabled() == false);

    QPoint shownAt;
    std::vector<bool> enabled;
    auto popupAct = test::ActOnPopup([&](QWidget* popup) {
        shownAt = popup->pos();
        for (QAction* action : popup->actions()) {
            enabled.push_back(action->isEnabled());
        }
        popup->close();
    });
    operations->PopupMenu();
    EXPECT_EQ(shownAt, pointer + QPoint(3, 3));
    EXPECT_EQ(enabled, (std::vector<bool>{true, false, true, true, true, true}));  // separator 4th
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(QtWindowOperationsTest, AWorkersCallsTakeEffectInOrderBeforeTheyReturn) {
    constexpr std::int32_t kRows = 10'000;
    // Hidden, so that the window is not repainted between every two calls: this checks
    // order and completeness, not drawing speed.
    window->hide();
    std::vector<std::int32_t> indexes;
    OnWorker([&] {
        for (std::int32_t row = 0; row < kRows; ++row) {
            const std::int32_t index = operations->InsertRow();
            indexes.push_back(index);
            operations->SetCellText(index, 0, std::to_string(row));
        }
        operations->SetStatusText(0, "done");
    });
    ASSERT_EQ(ShownRows(), kRows);
    for (std::int32_t row = 0; row < kRows; ++row) {
        ASSERT_EQ(indexes[static_cast<std::size_t>(row)], row);
        ASSERT_EQ(ShownCell(row, 0), QString::number(row));
    }
    EXPECT_EQ(ShownStatus(), "done");
}

TEST_F(QtWindowOperationsTest, CallsFromTwoWorkersAllTakeEffectEachInItsOrder) {
    constexpr std::int32_t kRowsEach = 2'000;
    window->hide();
    std::vector<std::int32_t> indexes[2];
    std::atomic<int> running{2};
    std::thread workers[2];
    for (int worker = 0; worker < 2; ++worker) {
        workers[worker] = std::thread([&, worker] {
            for (std::int32_t row = 0; row < kRowsEach; ++row) {
                const std::int32_t index = operations->InsertRow();
                indexes[worker].push_back(index);
                operations->SetCellText(index, 0, std::to_string(worker));
            }
            --running;
        });
    }
    EXPECT_TRUE(WaitUntil([&] { return running == 0; }));
    for (std::thread& worker : workers) {
        worker.join();
    }
    ASSERT_EQ(ShownRows(), 2 * kRowsEach);
    for (int worker = 0; worker < 2; ++worker) {
        ASSERT_TRUE(std::is_sorted(indexes[worker].begin(), indexes[worker].end()));
        for (const std::int32_t index : indexes[worker]) {
            ASSERT_EQ(ShownCell(index, 0), QString::number(worker));
        }
    }
}

// However fast a worker's calls come, the UI thread gets back to its events: a fill
// never freezes the window until it ends.
TEST_F(QtWindowOperationsTest, AWorkerThatNeverPausesLeavesTheUiThreadItsEvents) {
    std::atomic<bool> eventTaken{false};
    QMetaObject::invokeMethod(
        qApp, [&] { eventTaken = true; }, Qt::QueuedConnection);
    OnWorker([&] {
        const QDeadlineTimer deadline(test::kHangTimeoutMs);
        while (!eventTaken && !deadline.hasExpired()) {
            operations->RowCount();
        }
    });
    EXPECT_TRUE(eventTaken);
}

TEST_F(QtWindowOperationsTest, ACellWriteAfterTheRowsWereDeletedIsDropped) {
    std::atomic<bool> inserted{false};
    std::atomic<bool> deleted{false};
    std::int32_t rowsAfter = -1;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        const std::int32_t row = operations->InsertRow();
        inserted = true;
        deleted.wait(false);
        operations->SetCellText(row, 0, "late");
        rowsAfter = operations->RowCount();
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return inserted.load(); }));
    operations->DeleteAllRows();  // the user's "clear all", on the UI thread
    deleted = true;
    deleted.notify_one();
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(rowsAfter, 0);
    EXPECT_EQ(ShownRows(), 0);
}

// Every operation once, with what each gave, so that a revoked or orphaned object can be
// checked for its empty values in one go.
struct Results {
    std::int32_t inserted = 7;
    Text cell = "?";
    std::int32_t rows = 7;
    std::int32_t selected = 7;
    Text edit = "?";
};

Results CallEveryOperation(WindowOperations& operations) {
    Results results;
    operations.SetStatusText(0, "changed");
    results.inserted = operations.InsertRow();
    operations.SetCellText(0, 0, "changed");
    results.cell = operations.CellText(0, 0);
    operations.DeleteAllRows();
    results.rows = operations.RowCount();
    results.selected = operations.SelectedRow();
    operations.SetMenuItemEnabled(MenuItem::ClearAll, false);
    operations.PopupMenu();
    results.edit = operations.EditBoxText();
    operations.SetEditBoxText("changed");
    return results;
}

void ExpectEmptyValues(const Results& results) {
    EXPECT_EQ(results.inserted, -1);
    EXPECT_EQ(results.cell, "");
    EXPECT_EQ(results.rows, 0);
    EXPECT_EQ(results.selected, -1);
    EXPECT_EQ(results.edit, "");
}

TEST_F(QtWindowOperationsTest, RevokedOperationsChangeNothingAndReturnAtOnce) {
    QtWindowOperations other(window.get());
    other.SetCellText(other.InsertRow(), 0, "a");
    window->ShowStoreChanges();
    window->list()->selectRow(0);
    operations->Revoke();

    ExpectEmptyValues(CallEveryOperation(*operations));
    // From a worker too, without the UI thread taking a single event.
    auto fromWorker =
        std::async(std::launch::async, [&] { return CallEveryOperation(*operations); });
    ASSERT_EQ(fromWorker.wait_for(std::chrono::milliseconds(test::kHangTimeoutMs)),
              std::future_status::ready);
    ExpectEmptyValues(fromWorker.get());

    EXPECT_EQ(ShownRows(), 1);
    EXPECT_EQ(ShownCell(0, 0), "a");
    EXPECT_EQ(other.SelectedRow(), 0);
    EXPECT_EQ(ShownStatus(), "");
    EXPECT_EQ(window->editBox()->text(), "1234567890");
    EXPECT_TRUE(window->menuAction(MenuItem::ClearAll)->isEnabled());
}

TEST_F(QtWindowOperationsTest, OperationsOnAWindowThatHasGoneGiveEmptyValues) {
    QtWindowOperations other(window.get());
    window.reset();
    ExpectEmptyValues(CallEveryOperation(*operations));
    Results fromWorker;
    OnWorker([&] { fromWorker = CallEveryOperation(other); });
    ExpectEmptyValues(fromWorker);
}

TEST_F(QtWindowOperationsTest, AWorkersCallsOfTheWidgetsTakeEffectBeforeTheyReturn) {
    Text edit;
    OnWorker([&] {
        operations->SetEditBoxText(kSongName);
        edit = operations->EditBoxText();
        operations->SetMenuItemEnabled(MenuItem::CopyAddress, false);
    });
    EXPECT_EQ(edit, kSongName);
    EXPECT_EQ(window->editBox()->text(), QStringLiteral("歌名-歌手"));
    EXPECT_FALSE(window->menuAction(MenuItem::CopyAddress)->isEnabled());
}

TEST_F(QtWindowOperationsTest, TheEditBoxIsReadWithoutTheUiThread) {
    window->editBox()->setText(QStringLiteral("42"));
    // The UI thread takes no event while the worker reads.
    auto read = std::async(std::launch::async, [&] { return operations->EditBoxText(); });
    ASSERT_EQ(read.wait_for(std::chrono::milliseconds(test::kHangTimeoutMs)),
              std::future_status::ready);
    EXPECT_EQ(read.get(), "42");
}

// Revokes the operations when the worker's wake-up reaches the UI thread, just before its
// waiting call would be carried out.
class RevokeOnArrival final : public QObject {
public:
    explicit RevokeOnArrival(QtWindowOperations& operations) : operations_(operations) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == StoreUi::WakeEvent()) {
            operations_.Revoke();
        }
        return false;
    }

private:
    QtWindowOperations& operations_;
};

TEST_F(QtWindowOperationsTest, RevocationReachesCallsThatWaitForTheUiThread) {
    QCoreApplication::sendPostedEvents();
    window->ShowStoreChanges();  // the next wake-up is the worker's
    RevokeOnArrival revoker(*operations);
    qApp->installEventFilter(&revoker);
    std::int32_t inserted = 7;
    OnWorker([&] {
        operations->SetEditBoxText("99");
        inserted = operations->InsertRow();
        operations->SetStatusText(0, "late");
    });
    qApp->removeEventFilter(&revoker);
    EXPECT_EQ(window->editBox()->text(), "1234567890");
    EXPECT_EQ(inserted, -1);
    EXPECT_EQ(ShownRows(), 0);
    EXPECT_EQ(ShownStatus(), "");
}

}  // namespace
}  // namespace kavuro
