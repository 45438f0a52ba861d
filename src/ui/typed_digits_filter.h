// TypedDigitsFilter: lets only digits and "-" be typed into the widget it watches,
// whatever modifier keys are held. Control characters (Backspace) and the platform's
// editing shortcuts pass; pasted text is not typed, so it is not filtered.
#pragma once

#include <QObject>

namespace kavuro {

class TypedDigitsFilter final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace kavuro
