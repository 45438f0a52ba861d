#include "ui/list_menu_keys.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>

#include <algorithm>

namespace kavuro {
namespace {

bool IsMenuKey(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    return (key.key() == Qt::Key_Menu && (modifiers & ~Qt::ShiftModifier) == Qt::NoModifier) ||
           (key.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}

}  // namespace

ListMenuKeys* ListMenuKeys::InstallOn(QAbstractItemView* list) {
    auto* keys = new ListMenuKeys(list);
    list->installEventFilter(keys);
    return keys;
}

ListMenuKeys::ListMenuKeys(QAbstractItemView* list) : QObject(list), list_(list) {}

QPoint ListMenuKeys::PopupPosition() const {
    const QModelIndexList rows = list_->selectionModel() != nullptr
                                     ? list_->selectionModel()->selectedRows()
                                     : QModelIndexList();
    if (rows.isEmpty()) {
        return list_->mapToGlobal(QPoint(0, 0));
    }
    list_->scrollTo(rows.first());
    const QRect row = list_->visualRect(rows.first());
    return list_->viewport()->mapToGlobal(QPoint(std::max(row.left(), 0), row.bottom() + 1));
}

bool ListMenuKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched != list_) {
        return false;
    }
    if (event->type() == QEvent::KeyPress && IsMenuKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        emit keyboardMenuRequested(PopupPosition());
        return true;
    }
    // The window system may announce the Menu key a second time as a context-menu event
    // of its own; the key press above has already answered it.
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        event->accept();
        return true;
    }
    return false;
}

}  // namespace kavuro
