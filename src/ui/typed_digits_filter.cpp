#include "ui/typed_digits_filter.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

#include <algorithm>

namespace kavuro {
namespace {

bool IsControl(QChar c) {
    return c.unicode() < 32 || c.unicode() == 127;
}

bool IsTakenCharacter(QChar c) {
    return IsControl(c) || (c >= u'0' && c <= u'9') || c == u'-';
}

}  // namespace

bool TypedDigitsFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // With Ctrl or Meta held a letter is a shortcut (Ctrl+V pastes), not typed text.
        if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
            return false;
        }
        const QString text = key->text();
        return !std::all_of(text.begin(), text.end(), IsTakenCharacter);
    }
    if (event->type() == QEvent::InputMethod) {
        // Text committed by an input method is typed too.
        auto* input = static_cast<QInputMethodEvent*>(event);
        QString kept = input->commitString();
        kept.removeIf([](QChar c) { return !IsTakenCharacter(c) || IsControl(c); });
        if (kept != input->commitString()) {
            input->setCommitString(kept, input->replacementStart(), input->replacementLength());
        }
        return false;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kavuro
