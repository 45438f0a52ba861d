#include "ui/song_list.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <utility>

#include "ui/qt_text.h"

namespace kavuro {
namespace {

constexpr int kColumns = 2;

// Shows a cell's whole text as its tip only when the column cuts it, as a report-style
// list's info tips do.
class CutCellTips final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() == QEvent::ToolTip && index.isValid() && !IsCut(view, option, index)) {
            QToolTip::hideText();
            return true;
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

private:
    bool IsCut(const QWidget* view, const QStyleOptionViewItem& option,
               const QModelIndex& index) const {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStyle* style = view->style();
        const QRect textArea = style->subElementRect(QStyle::SE_ItemViewItemText, &item, view);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        return item.fontMetrics.horizontalAdvance(item.text) > textArea.width() - 2 * margin;
    }
};

}  // namespace

SongListModel::SongListModel(std::shared_ptr<WindowStore> store, QObject* parent)
    : QAbstractTableModel(parent), store_(std::move(store)) {}

int SongListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int SongListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant SongListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    return ToQString(store_->CellTextForUi(index.row(), index.column()));
}

QVariant SongListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return section == 0 ? QStringLiteral("歌曲名/歌手") : QStringLiteral("歌曲地址");
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags SongListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void SongListModel::Show(const WindowStore::Changes& changes) {
    if (changes.cleared && shownRows_ > 0) {
        beginRemoveRows(QModelIndex(), 0, shownRows_ - 1);
        shownRows_ = 0;
        endRemoveRows();
    }
    const int lastChanged = std::min(changes.lastChanged, shownRows_ - 1);
    if (!changes.cleared && changes.firstChanged <= lastChanged) {
        emit dataChanged(index(changes.firstChanged, 0), index(lastChanged, kColumns - 1),
                         {Qt::DisplayRole, Qt::ToolTipRole});
    }
    if (changes.rows > shownRows_) {
        beginInsertRows(QModelIndex(), shownRows_, changes.rows - 1);
        shownRows_ = changes.rows;
        endInsertRows();
    }
}

SongList::SongList(std::shared_ptr<WindowStore> store, QWidget* parent)
    : QTreeView(parent), songs_(new SongListModel(store, this)) {
    setModel(songs_);
    // Mirrored into the store, so that any thread reads the selection without waiting.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, store = std::move(store)] { store->SelectionChanged(selectedRow()); });
    setItemDelegate(new CutCellTips(this));
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    setColumnWidth(0, 140);
    setColumnWidth(1, 320);

    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);

    focusedPalette_ = palette();
    unfocusedPalette_ = focusedPalette_;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        unfocusedPalette_.setColor(group, QPalette::Highlight,
                                   focusedPalette_.color(group, QPalette::Base));
        unfocusedPalette_.setColor(group, QPalette::HighlightedText,
                                   focusedPalette_.color(group, QPalette::Text));
    }
    ShowSelection(false);
}

int SongList::selectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SongList::selectRow(int row) {
    setCurrentIndex(songs_->index(row, 0));
}

void SongList::keyPressEvent(QKeyEvent* event) {
    emit userActs();
    QTreeView::keyPressEvent(event);
}

void SongList::mousePressEvent(QMouseEvent* event) {
    emit userActs();
    QMouseEvent onRow = MovedOntoRow(*event);
    QTreeView::mousePressEvent(&onRow);
    if (!indexAt(onRow.position().toPoint()).isValid()) {
        selectionModel()->clear();  // below the last row none stays selected
    }
}

void SongList::mouseReleaseEvent(QMouseEvent* event) {
    QMouseEvent onRow = MovedOntoRow(*event);
    QTreeView::mouseReleaseEvent(&onRow);
}

void SongList::mouseMoveEvent(QMouseEvent* event) {
    QMouseEvent onRow = MovedOntoRow(*event);
    QTreeView::mouseMoveEvent(&onRow);
}

// Rows are selected whole, so a point right of the last column is on its row too.
QMouseEvent SongList::MovedOntoRow(const QMouseEvent& event) const {
    const QPoint at = event.position().toPoint();
    const int lastColumnEnd = header()->length() - header()->offset() - 1;
    QPoint moved = at;
    if (!indexAt(at).isValid() && at.x() > lastColumnEnd && lastColumnEnd >= 0) {
        moved.setX(lastColumnEnd);
    }
    const QPointF shift = QPointF(moved - at);
    return QMouseEvent(event.type(), event.position() + shift, event.scenePosition() + shift,
                       event.globalPosition(), event.button(), event.buttons(), event.modifiers(),
                       event.pointingDevice());
}

bool SongList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse) {
        event->accept();
        emit userActs();
        emit rightClicked();
        return true;
    }
    return QTreeView::viewportEvent(event);
}

// The selection shows only while the list has the focus. A pop-up menu borrows the focus
// without taking it, so the selection stays drawn while one is open.
void SongList::focusInEvent(QFocusEvent* event) {
    ShowSelection(true);
    QTreeView::focusInEvent(event);
}

void SongList::focusOutEvent(QFocusEvent* event) {
    if (event->reason() != Qt::PopupFocusReason) {
        ShowSelection(false);
    }
    QTreeView::focusOutEvent(event);
}

void SongList::ShowSelection(bool shown) {
    setPalette(shown ? focusedPalette_ : unfocusedPalette_);
}

}  // namespace kavuro
