#include "commands/list_commands.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "export/atomic_file.h"
#include "text/gbk.h"

namespace kavuro {
namespace {

constexpr std::int32_t kNameColumn = 0;
constexpr std::int32_t kAddressColumn = 1;

// The rows as the list shows them now.
std::vector<ListRow> ListRows(WindowOperations& window) {
    std::vector<ListRow> rows;
    const std::int32_t count = window.RowCount();
    rows.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (std::int32_t row = 0; row < count; ++row) {
        rows.push_back(
            {window.CellText(row, kNameColumn), window.CellText(row, kAddressColumn), {}});
    }
    return rows;
}

// A GBK trail byte is never below 0x40, so a tab or line break is always a character of
// its own.
Text OneCell(Text cell) {
    std::replace_if(
        cell.begin(), cell.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return cell;
}

}  // namespace

void OnListRightClick(WindowOperations& window) {
    const bool hasRows = window.RowCount() != 0;
    for (MenuItem item : {MenuItem::CopyNameAndSinger, MenuItem::CopyAddress, MenuItem::ClearAll,
                          MenuItem::CopyAll, MenuItem::SaveList}) {
        window.SetMenuItemEnabled(item, hasRows);
    }
    window.PopupMenu();
}

void CopyCellOfSelectedRow(WindowOperations& window, CommandPlatform& platform,
                           std::int32_t column) {
    const std::int32_t row = window.SelectedRow();
    if (row < 0) {
        return;
    }
    const bool copied = platform.SetClipboardText(window.CellText(row, column));
    platform.ShowMessage(Text(copied ? kCopiedMessage : kCopyFailedMessage));
}

void CopyAllRows(WindowOperations& window, CommandPlatform& platform) {
    const std::vector<ListRow> rows = ListRows(window);
    if (rows.empty()) {
        return;
    }
    Text text;
    for (const ListRow& row : rows) {
        text += OneCell(row.nameAndSinger);
        text += '\t';
        text += OneCell(row.address);
        text += '\n';
    }
    const bool copied = platform.SetClipboardText(text);
    platform.ShowMessage(Text(copied ? kCopiedMessage : kCopyFailedMessage));
}

void SaveList(WindowOperations& window, CommandPlatform& platform) {
    if (window.RowCount() == 0) {
        return;
    }
    const std::optional<SaveChoice> chosen = platform.ChooseSaveFile();
    if (!chosen) {
        return;
    }
    const SaveChoice target = ResolveSaveTarget(*chosen);
    // Read once the dialog has closed: a fetch may have changed the list meanwhile.
    const ListToWrite list{ListRows(window), {}};
    const std::error_code error =
        WriteFileAtomically(target.path, WriteList(list, target.filterFormat));
    platform.ShowMessage(error ? ConcatTexts(kSaveFailedMessage, SaveFailureReason(error))
                               : Text(kSavedMessage));
}

SaveChoice ResolveSaveTarget(const SaveChoice& chosen) {
    if (const std::optional<ListFormat> named = FormatFromFileName(chosen.path)) {
        return {chosen.path, *named};
    }
    SaveChoice target = chosen;
    const std::size_t slash = target.path.find_last_of('/');
    const std::size_t dot = target.path.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    if (!hasExtension) {
        target.path += '.';
        target.path += FormatName(target.filterFormat);
    }
    return target;
}

Text SaveFailureReason(std::error_code error) {
    if (error.category() == std::generic_category() || error.category() == std::system_category()) {
        switch (error.value()) {
            case ENOENT:
                return "\xCE\xC4\xBC\xFE\xBC\xD0\xB2\xBB\xB4\xE6\xD4\xDA";  // 文件夹不存在
            case ENOTDIR:  // 路径中有一项不是文件夹
                return "\xC2\xB7\xBE\xB6\xD6\xD0\xD3\xD0\xD2\xBB\xCF\xEE\xB2\xBB\xCA\xC7\xCE\xC4"
                       "\xBC\xFE\xBC\xD0";
            case EACCES:
            case EPERM:
                return "\xC3\xBB\xD3\xD0\xD0\xB4\xC8\xEB\xC8\xA8\xCF\xDE";  // 没有写入权限
            case EROFS:
                return "\xB4\xC5\xC5\xCC\xCA\xC7\xD6\xBB\xB6\xC1\xB5\xC4";  // 磁盘是只读的
            case ENOSPC:
            case EDQUOT:
                return "\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3";  // 磁盘空间不足
            case EISDIR:
                return "\xD5\xE2\xCA\xC7\xD2\xBB\xB8\xF6\xCE\xC4\xBC\xFE\xBC\xD0";  // 这是一个文件夹
            case ENAMETOOLONG:
                return "\xCE\xC4\xBC\xFE\xC3\xFB\xCC\xAB\xB3\xA4";  // 文件名太长
            default:
                break;
        }
    }
    // The system's wording comes in the locale's encoding, UTF-8 on this platform.
    return Utf8ToGbk(error.message());
}

void ClearAllRows(WindowOperations& window) {
    window.DeleteAllRows();
}

void OnEditBoxFocusGained(WindowOperations& window) {
    window.SetEditBoxText(Text());
}

}  // namespace kavuro
