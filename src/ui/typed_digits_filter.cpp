#include "ui/typed_digits_filter.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>

#include <algorithm>

namespace kavuro {
namespace {

bool IsControl(QChar c) {
    return c.unicode() < 32 || c.unicode() == 127;
}

bool IsTakenCharacter(QChar c) {
    return IsControl(c) || (c >= u'0' && c <= u'9') || c == u'-';
}

// One of the platform's editing shortcuts (paste, select all, undo, …): it edits rather
// than types, whatever text the platform gives the key (Ctrl+V may come as "v").
bool IsStandardShortcut(const QKeyEvent& key) {
    for (int standard = QKeySequence::UnknownKey + 1; standard <= QKeySequence::Cancel;
         ++standard) {
        if (key.matches(static_cast<QKeySequence::StandardKey>(standard))) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool TypedDigitsFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The typed text decides, not the modifiers: AltGr arrives as Ctrl+Alt and types.
        const QString text = key->text();
        return !std::all_of(text.begin(), text.end(), IsTakenCharacter) &&
               !IsStandardShortcut(*key);
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
