// Hyperlink: a self-drawn link that opens its address in the browser on the mouse press.
// Assistive technology sees it as a link named by its text, whose press action opens
// the address as the mouse does.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace kavuro {

class Hyperlink final : public QWidget {
    Q_OBJECT
public:
    static constexpr QColor kNormalColor{255, 0, 0};
    static constexpr QColor kHoverColor{10, 36, 106};
    static constexpr QColor kVisitedColor{128, 0, 0};

    Hyperlink(const QString& text, const QString& address, QWidget* parent = nullptr);

    QString address() const { return address_; }
    // What is painted: the text, or the address when the text is empty.
    QString shownText() const;
    // The colour the text is painted in now.
    QColor textColor() const;
    // Whether the last opening succeeded, which the visited colour shows.
    bool visited() const { return visited_; }
    // Opens the address in the browser, as a press of the left button does.
    void openAddress();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString text_;
    QString address_;
    bool hovered_ = false;
    bool visited_ = false;  // whether the last press opened the address
};

}  // namespace kavuro
