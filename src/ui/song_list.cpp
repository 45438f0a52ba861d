#include "ui/song_list.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

namespace kavuro {

namespace {

// How long rows appended one by one may wait to be laid out together.
constexpr int kNewRowsLayoutIntervalMs = 30;

}  // namespace

SongList::SongList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("歌曲名/歌手"), QStringLiteral("歌曲地址")});
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

    newRowsLayout_.setSingleShot(true);
    newRowsLayout_.setInterval(kNewRowsLayoutIntervalMs);
    connect(&newRowsLayout_, &QTimer::timeout, this, [this] { doItemsLayout(); });
}

// A fetch appends its rows one at a time, each in a turn of the event loop, and the tree
// view would lay out the whole list again after every one of them: quadratic in the
// list's length. Appended rows are laid out together instead, a few times a second, and
// at once before the user acts on the list.
void SongList::rowsInserted(const QModelIndex& parent, int start, int end) {
    if (parent.isValid()) {
        QTreeWidget::rowsInserted(parent, start, end);
        return;
    }
    QAbstractItemView::rowsInserted(parent, start, end);
    if (!newRowsLayout_.isActive()) {
        newRowsLayout_.start();
    }
}

// A cell set while rows wait for their layout is drawn by that layout, which repaints the
// rows: asking where the cell is now would lay the list out once per cell.
void SongList::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                           const QList<int>& roles) {
    if (newRowsLayout_.isActive()) {
        return;
    }
    QTreeWidget::dataChanged(topLeft, bottomRight, roles);
}

// Lays out the rows appended since the last layout, if any. Const because the queries
// that need it are: it changes nothing they answer but brings it up to date.
void SongList::LayOutNewRows() const {
    if (!newRowsLayout_.isActive()) {
        return;
    }
    newRowsLayout_.stop();
    const_cast<SongList*>(this)->doItemsLayout();
}

QRect SongList::visualRect(const QModelIndex& index) const {
    LayOutNewRows();
    return QTreeWidget::visualRect(index);
}

QModelIndex SongList::indexAt(const QPoint& point) const {
    LayOutNewRows();
    return QTreeWidget::indexAt(point);
}

void SongList::scrollTo(const QModelIndex& index, ScrollHint hint) {
    LayOutNewRows();
    QTreeWidget::scrollTo(index, hint);
}

void SongList::keyPressEvent(QKeyEvent* event) {
    LayOutNewRows();
    QTreeWidget::keyPressEvent(event);
}

void SongList::mousePressEvent(QMouseEvent* event) {
    QMouseEvent onRow = MovedOntoRow(*event);
    QTreeWidget::mousePressEvent(&onRow);
    if (!indexAt(onRow.position().toPoint()).isValid()) {
        selectionModel()->clear();  // below the last row none stays selected
    }
}

void SongList::mouseReleaseEvent(QMouseEvent* event) {
    QMouseEvent onRow = MovedOntoRow(*event);
    QTreeWidget::mouseReleaseEvent(&onRow);
}

void SongList::mouseMoveEvent(QMouseEvent* event) {
    QMouseEvent onRow = MovedOntoRow(*event);
    QTreeWidget::mouseMoveEvent(&onRow);
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
        emit rightClicked();
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

// The selection shows only while the list has the focus. A pop-up menu borrows the focus
// without taking it, so the selection stays drawn while one is open.
void SongList::focusInEvent(QFocusEvent* event) {
    ShowSelection(true);
    QTreeWidget::focusInEvent(event);
}

void SongList::focusOutEvent(QFocusEvent* event) {
    if (event->reason() != Qt::PopupFocusReason) {
        ShowSelection(false);
    }
    QTreeWidget::focusOutEvent(event);
}

void SongList::ShowSelection(bool shown) {
    setPalette(shown ? focusedPalette_ : unfocusedPalette_);
}

}  // namespace kavuro
