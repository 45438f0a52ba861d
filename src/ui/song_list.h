// SongList: the two-column result list, with the habits of a report-style list view.
#pragma once

#include <QMouseEvent>
#include <QPalette>
#include <QTreeWidget>

namespace kavuro {

class SongList final : public QTreeWidget {
    Q_OBJECT
public:
    explicit SongList(QWidget* parent = nullptr);

signals:
    // A right click in the rows area (not on the header), after the selection followed it.
    void rightClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QMouseEvent MovedOntoRow(const QMouseEvent& event) const;
    void ShowSelection(bool shown);

    QPalette focusedPalette_;
    QPalette unfocusedPalette_;
};

}  // namespace kavuro
