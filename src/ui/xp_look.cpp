#include "ui/xp_look.h"

#include <QApplication>
#include <QString>

#include <array>

namespace kavuro {
namespace {

struct Scheme {
    const char* frame;
    const char* faceTop;
    const char* faceBottom;
    const char* hotFrame;
    const char* focusFrame;
    const char* pressedTop;
    const char* pressedBottom;
    const char* checkMark;
};

// Blue, olive green and silver. Disabled controls look the same in all three.
constexpr std::array<Scheme, 3> kSchemes{{
    {"#7b9ebd", "#ffffff", "#dcdad0", "#e5a335", "#3c7fb1", "#e3e1d8", "#f6f5f0", "#21a121"},
    {"#8a9a66", "#ffffff", "#dfe3cc", "#e5a335", "#5e7a2c", "#e3e6d3", "#f6f7ef", "#21a121"},
    {"#8e8fa2", "#ffffff", "#dcdce6", "#e5a335", "#63637e", "#e2e2ea", "#f5f5f8", "#21a121"},
}};

constexpr const char* kDisabledFrame = "#c9c7ba";
constexpr const char* kDisabledFace = "#f5f4ea";
constexpr const char* kDisabledText = "#a1a192";

QString StyleSheet(const Scheme& s) {
    const QString face =
        QStringLiteral("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2)")
            .arg(QLatin1String(s.faceTop), QLatin1String(s.faceBottom));
    const QString pressed =
        QStringLiteral("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2)")
            .arg(QLatin1String(s.pressedTop), QLatin1String(s.pressedBottom));
    // Rules for one state come after the normal ones, hot last, so that it shows over focus.
    QString sheet = QStringLiteral(R"(
QPushButton {
    border: 1px solid @frame; border-radius: 3px; background: @face; color: black;
    padding: 2px 8px;
}
QPushButton:focus { border-color: @focus; }
QPushButton:pressed { background: @pressed; }
QPushButton:hover { border-color: @hot; }
QPushButton:disabled { border-color: @dFrame; background: @dFace; color: @dText; }

QCheckBox::indicator, QRadioButton::indicator {
    width: 11px; height: 11px; border: 1px solid @frame; background: @face;
}
QRadioButton::indicator { border-radius: 6px; }
QCheckBox::indicator:checked, QRadioButton::indicator:checked {
    background: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5,
                                stop:0 @mark, stop:0.55 @mark, stop:0.65 @faceTop, stop:1 @faceBottom);
}
QCheckBox:focus, QRadioButton:focus { color: black; }
QCheckBox::indicator:focus, QRadioButton::indicator:focus { border-color: @focus; }
QCheckBox::indicator:hover, QRadioButton::indicator:hover { border-color: @hot; }
QCheckBox::indicator:disabled, QRadioButton::indicator:disabled {
    border-color: @dFrame; background: @dFace;
}
QCheckBox:disabled, QRadioButton:disabled { color: @dText; }

QGroupBox {
    border: 1px solid @frame; border-radius: 3px; margin-top: 8px; padding-top: 4px;
}
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; color: @focus; }
QGroupBox:disabled { border-color: @dFrame; }
QGroupBox::title:disabled { color: @dText; }

QLineEdit, QAbstractSpinBox, QComboBox {
    border: 1px solid @frame; background: white; color: black; padding: 1px 2px;
    selection-background-color: @focus;
}
QComboBox:!editable, QComboBox::drop-down, QAbstractSpinBox::up-button,
QAbstractSpinBox::down-button {
    background: @face;
}
QComboBox::drop-down { border-left: 1px solid @frame; }
QLineEdit:focus, QAbstractSpinBox:focus, QComboBox:focus { border-color: @focus; }
QLineEdit:hover, QAbstractSpinBox:hover, QComboBox:hover { border-color: @hot; }
QLineEdit:disabled, QAbstractSpinBox:disabled, QComboBox:disabled {
    border-color: @dFrame; background: @dFace; color: @dText;
}
QDialogButtonBox { dialogbuttonbox-buttons-have-icons: 0; }
QComboBox QAbstractItemView {
    border: 1px solid @frame; selection-background-color: @focus;
}
)");
    sheet.replace(QLatin1String("@faceTop"), QLatin1String(s.faceTop))
        .replace(QLatin1String("@faceBottom"), QLatin1String(s.faceBottom))
        .replace(QLatin1String("@frame"), QLatin1String(s.frame))
        .replace(QLatin1String("@face"), face)
        .replace(QLatin1String("@pressed"), pressed)
        .replace(QLatin1String("@focus"), QLatin1String(s.focusFrame))
        .replace(QLatin1String("@hot"), QLatin1String(s.hotFrame))
        .replace(QLatin1String("@mark"), QLatin1String(s.checkMark))
        .replace(QLatin1String("@dFrame"), QLatin1String(kDisabledFrame))
        .replace(QLatin1String("@dFace"), QLatin1String(kDisabledFace))
        .replace(QLatin1String("@dText"), QLatin1String(kDisabledText));
    return sheet;
}

}  // namespace

bool ApplyXpLook(int scheme) {
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (application == nullptr) {
        return false;
    }
    application->setStyleSheet(QString());
    if (scheme < 1 || scheme > static_cast<int>(kSchemes.size())) {
        return false;
    }
    application->setStyleSheet(StyleSheet(kSchemes[static_cast<std::size_t>(scheme - 1)]));
    return true;
}

}  // namespace kavuro
