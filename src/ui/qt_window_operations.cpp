#include "ui/qt_window_operations.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QThread>

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

}  // namespace

QtWindowOperations::QtWindowOperations(MainWindow* window) : window_(window) {}

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
        QMetaObject::invokeMethod(application, onUiThread, Qt::BlockingQueuedConnection);
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
    OnUiThread([](MainWindow& window) { window.popupMenu()->exec(QCursor::pos() + QPoint(3, 3)); });
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
