// SongList: the two-column result list, with the habits of a report-style list view,
// shown from the window's store through SongListModel.
#pragma once

#include <QAbstractTableModel>
#include <QMouseEvent>
#include <QPalette>
#include <QTreeView>

#include <memory>

#include "window/window_store.h"

namespace kavuro {

// The store's rows as the list shows them: only the rows the UI thread has taken from the
// store so far, each cell read from the store when it is drawn or read out.
class SongListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    SongListModel(std::shared_ptr<WindowStore> store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Shows the store's changes: cleared rows removed, new rows appended in one batch,
    // changed cells redrawn.
    void Show(const WindowStore::Changes& changes);

private:
    std::shared_ptr<WindowStore> store_;
    int shownRows_ = 0;
};

class SongList final : public QTreeView {
    Q_OBJECT
public:
    explicit SongList(std::shared_ptr<WindowStore> store, QWidget* parent = nullptr);

    SongListModel* songs() const { return songs_; }
    // The selected row, -1 for none.
    int selectedRow() const;
    void selectRow(int row);

signals:
    // A right click in the rows area (not on the header), after the selection followed it.
    void rightClicked();
    // The user is about to act on the list: it should show every row the store holds.
    void userActs();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QMouseEvent MovedOntoRow(const QMouseEvent& event) const;
    void ShowSelection(bool shown);

    SongListModel* songs_ = nullptr;
    QPalette focusedPalette_;
    QPalette unfocusedPalette_;
};

}  // namespace kavuro
