#include "ui/hyperlink.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace kavuro {

Hyperlink::Hyperlink(const QString& text, const QString& address, QWidget* parent)
    : QWidget(parent), text_(text), address_(address) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

QString Hyperlink::shownText() const {
    return text_.isEmpty() ? address_ : text_;
}

QColor Hyperlink::textColor() const {
    if (hovered_) {
        return kHoverColor;
    }
    return visited_ ? kVisitedColor : kNormalColor;
}

void Hyperlink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(textColor());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, shownText());
}

void Hyperlink::enterEvent(QEnterEvent*) {
    hovered_ = true;
    update();
}

void Hyperlink::leaveEvent(QEvent*) {
    hovered_ = false;
    update();
}

void Hyperlink::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // On the press, not the release: the page opens as the button goes down.
    visited_ = QDesktopServices::openUrl(QUrl(address_));
    update();
}

}  // namespace kavuro
