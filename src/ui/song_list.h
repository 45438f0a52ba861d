// SongList: the two-column result list, with the habits of a report-style list view.
#pragma once

#include <QMouseEvent>
#include <QPalette>
#include <QTimer>
#include <QTreeWidget>

namespace kavuro {

class SongList final : public QTreeWidget {
    Q_OBJECT
public:
    explicit SongList(QWidget* parent = nullptr);

    // Geometry is asked of rows only after every appended row has been laid out.
    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

signals:
    // A right click in the rows area (not on the header), after the selection followed it.
    void rightClicked();

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void LayOutNewRows() const;
    QMouseEvent MovedOntoRow(const QMouseEvent& event) const;
    void ShowSelection(bool shown);

    QPalette focusedPalette_;
    QPalette unfocusedPalette_;
    mutable QTimer newRowsLayout_;
};

}  // namespace kavuro
