#include "ui/qt_command_platform.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

#include "ui/qt_text.h"

namespace kavuro {

bool QtCommandPlatform::SetClipboardText(const Text& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        return false;
    }
    const QString shown = ToQString(text);
    clipboard->setText(shown, QClipboard::Clipboard);
    return clipboard->text(QClipboard::Clipboard) == shown;
}

void QtCommandPlatform::ShowMessage(const Text& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("信息："), ToQString(text),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace kavuro
