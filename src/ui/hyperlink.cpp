#include "ui/hyperlink.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace kavuro {
namespace {

// A plain QWidget would be a nameless filler to a screen reader: this one is a link whose
// value is its address and whose press action opens it.
class HyperlinkAccessible final : public QAccessibleWidget {
public:
    explicit HyperlinkAccessible(Hyperlink* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return link()->address();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.linked = true;
        state.traversed = link()->visited();
        return state;
    }

    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override {
        if (actionName == pressAction()) {
            link()->openAddress();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    Hyperlink* link() const { return static_cast<Hyperlink*>(widget()); }
};

QAccessibleInterface* HyperlinkAccessibleFactory(const QString&, QObject* object) {
    if (auto* link = qobject_cast<Hyperlink*>(object)) {
        return new HyperlinkAccessible(link);
    }
    return nullptr;
}

}  // namespace

Hyperlink::Hyperlink(const QString& text, const QString& address, QWidget* parent)
    : QWidget(parent), text_(text), address_(address) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(HyperlinkAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(shownText());
    setAccessibleDescription(QStringLiteral("打开网页 %1").arg(address_));
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
    openAddress();
}

void Hyperlink::openAddress() {
    const bool wasVisited = visited_;
    visited_ = QDesktopServices::openUrl(QUrl(address_));
    if (visited_ != wasVisited) {
        QAccessible::State changed;
        changed.traversed = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    update();
}

}  // namespace kavuro
