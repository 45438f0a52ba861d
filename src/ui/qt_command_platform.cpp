#include "ui/qt_command_platform.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

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

std::optional<SaveChoice> QtCommandPlatform::ChooseSaveFile() {
    static const std::array<std::pair<ListFormat, QString>, 4> kFilters{{
        {ListFormat::Txt, QStringLiteral("文本 (*.txt)")},
        {ListFormat::M3u8, QStringLiteral("M3U8 播放列表 (*.m3u8)")},
        {ListFormat::Csv, QStringLiteral("CSV 表格 (*.csv)")},
        {ListFormat::Json, QStringLiteral("JSON (*.json)")},
    }};
    QStringList filters;
    for (const auto& filter : kFilters) {
        filters << filter.second;
    }
    // Qt's own dialog on every platform: it looks the same everywhere and can be driven
    // like any other widget.
    QFileDialog dialog(nullptr, QStringLiteral("保存列表"));
    dialog.setObjectName(QStringLiteral("保存列表"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setWindowModality(Qt::ApplicationModal);
    // A name typed without an extension gets the shown filter's, so that the dialog's
    // question before replacing a file is asked of the file that is written.
    const auto formatOf = [&](const QString& filter) {
        const qsizetype index = std::max<qsizetype>(filters.indexOf(filter), 0);
        return kFilters[static_cast<std::size_t>(index)].first;
    };
    const auto suffixOf = [&](const QString& filter) {
        const std::string_view name = FormatName(formatOf(filter));
        return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    };
    dialog.setDefaultSuffix(suffixOf(filters.first()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&](const QString& filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return SaveChoice{QFile::encodeName(dialog.selectedFiles().first()).toStdString(),
                      formatOf(dialog.selectedNameFilter())};
}

}  // namespace kavuro
