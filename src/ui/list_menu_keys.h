// ListMenuKeys: the list's pop-up from the keyboard. Installed on a list, it turns the
// Menu key and Shift+F10 into a request for the pop-up at the selected row, or at the
// list's top-left corner when no row is selected, so that a keyboard user reaches the
// commands a right click offers.
#pragma once

#include <QObject>
#include <QPoint>

class QAbstractItemView;

namespace kavuro {

class ListMenuKeys final : public QObject {
    Q_OBJECT
public:
    // Watches list's keys from now on; list owns the result.
    static ListMenuKeys* InstallOn(QAbstractItemView* list);

    // Where the pop-up opens, in global coordinates: below the left end of the selected
    // row, brought into view first, or at the list's top-left corner.
    QPoint PopupPosition() const;

signals:
    void keyboardMenuRequested(QPoint globalPosition);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ListMenuKeys(QAbstractItemView* list);

    QAbstractItemView* list_;
};

}  // namespace kavuro
