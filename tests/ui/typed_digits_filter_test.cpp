#include "ui/typed_digits_filter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <string>

#include "support/case_name.h"
#include "support/qt_print.h"

namespace kavuro {
namespace {

class TypedDigitsFilterTest : public testing::Test {
protected:
    void SetUp() override {
        edit.installEventFilter(&filter);
        edit.setText("12");
    }
    // A key as the platform delivers it: the text is what the keyboard layout made of it.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(&edit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(&edit, &release);
    }

    QLineEdit edit;
    TypedDigitsFilter filter;
};

struct KeyCase {
    std::string name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    QString kept;  // the box's text after the key, starting from "12"
    friend void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }
};

class TypedWithModifiersTest : public TypedDigitsFilterTest,
                               public testing::WithParamInterface<KeyCase> {};

TEST_P(TypedWithModifiersTest, JudgesTheTypedTextNotTheModifiers) {
    Press(GetParam().key, GetParam().modifiers, GetParam().text);
    EXPECT_EQ(edit.text(), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TypedWithModifiersTest,
    testing::Values(
        // AltGr, as Windows delivers it.
        KeyCase{"AltGrAt", Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, "@", "12"},
        KeyCase{"AltGrBrace", Qt::Key_7, Qt::ControlModifier | Qt::AltModifier, "{", "12"},
        KeyCase{"AltGrDigit", Qt::Key_5, Qt::ControlModifier | Qt::AltModifier, "5", "125"},
        KeyCase{"MetaLetter", Qt::Key_A, Qt::MetaModifier, "a", "12"},
        KeyCase{"MetaMinus", Qt::Key_Minus, Qt::MetaModifier, "-", "12-"},
        KeyCase{"AltLetter", Qt::Key_A, Qt::AltModifier, "a", "12"},
        KeyCase{"ShiftPunctuation", Qt::Key_Exclam, Qt::ShiftModifier, "!", "12"},
        KeyCase{"KeypadDigit", Qt::Key_7, Qt::KeypadModifier, "7", "127"},
        KeyCase{"PlainDigit", Qt::Key_0, Qt::NoModifier, "0", "120"}),
    test::CaseName());

// Editing shortcuts keep working, whether the platform gives them a control character
// (as X11 and Windows do) or the letter (as macOS and QTest do).
struct ShortcutCase {
    std::string name;
    Qt::Key key;
    QString text;
    QString result;  // after "3" is typed onto "12", the shortcut, and "9"
    friend void PrintTo(const ShortcutCase& c, std::ostream* os) { *os << c.name; }
};

class ShortcutTest : public TypedDigitsFilterTest,
                     public testing::WithParamInterface<ShortcutCase> {};

TEST_P(ShortcutTest, StillEdits) {
    QGuiApplication::clipboard()->setText("ab");
    Press(Qt::Key_3, Qt::NoModifier, "3");
    Press(GetParam().key, Qt::ControlModifier, GetParam().text);
    Press(Qt::Key_9, Qt::NoModifier, "9");
    EXPECT_EQ(edit.text(), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Shortcuts, ShortcutTest,
                         testing::Values(ShortcutCase{"PasteAsLetter", Qt::Key_V, "v", "123ab9"},
                                         ShortcutCase{"PasteAsControl", Qt::Key_V, "\x16",
                                                      "123ab9"},
                                         ShortcutCase{"SelectAllAsLetter", Qt::Key_A, "a", "9"},
                                         ShortcutCase{"SelectAllAsControl", Qt::Key_A, "\x01", "9"},
                                         ShortcutCase{"UndoAsLetter", Qt::Key_Z, "z", "129"},
                                         ShortcutCase{"UndoAsControl", Qt::Key_Z, "\x1A", "129"}),
                         test::CaseName());

}  // namespace
}  // namespace kavuro
