#include "commands/list_commands.h"

namespace kavuro {

void OnListRightClick(WindowOperations& window) {
    const bool hasRows = window.RowCount() != 0;
    for (MenuItem item : {MenuItem::CopyNameAndSinger, MenuItem::CopyAddress, MenuItem::ClearAll}) {
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

void ClearAllRows(WindowOperations& window) {
    window.DeleteAllRows();
}

void OnEditBoxFocusGained(WindowOperations& window) {
    window.SetEditBoxText(Text());
}

}  // namespace kavuro
