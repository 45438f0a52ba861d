// The user's commands on the result list, and the edit box's habit of emptying itself
// when it gains the focus. They keep no state and reach the window only through the
// window operations, plus the two platform operations of CommandPlatform; the shell
// binds them to the window's events, and tests call them the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "export/list_writer.h"
#include "text/text.h"
#include "window/window_operations.h"

namespace kavuro {

inline constexpr std::string_view kCopiedMessage =
    "\xB8\xB4\xD6\xC6\xB3\xC9\xB9\xA6!!";  // 复制成功!!
inline constexpr std::string_view kCopyFailedMessage =
    "\xB8\xB4\xD6\xC6\xCA\xA7\xB0\xDC!!";  // 复制失败!!
inline constexpr std::string_view kSavedMessage =
    "\xB1\xA3\xB4\xE6\xB3\xC9\xB9\xA6!!";  // 保存成功!!
inline constexpr std::string_view kSaveFailedMessage =
    "\xB1\xA3\xB4\xE6\xCA\xA7\xB0\xDC!!";  // 保存失败!!, the reason follows

// Where the user chose to save the list.
struct SaveChoice {
    std::string path;         // as the file system spells it (UTF-8)
    ListFormat filterFormat;  // the format of the filter the dialog showed
};

// What the commands need of the platform besides the window.
class CommandPlatform {
public:
    virtual ~CommandPlatform() = default;
    // Replaces the clipboard's content with the text; true when the clipboard was read
    // back holding it.
    virtual bool SetClipboardText(const Text& text) = 0;
    // Shows the text in a message box captioned "信息：" with one OK button and no icon,
    // owned by no window and modal to the whole application; returns when it is closed.
    virtual void ShowMessage(const Text& text) = 0;
    // Asks, in a modal file dialog with the four formats as filters, where to save the
    // list; nullopt when the user cancelled.
    virtual std::optional<SaveChoice> ChooseSaveFile() = 0;
};

// Right click on the list: the menu items are enabled when the list has rows and greyed
// when it has none, then menu "c" pops up. A chosen item's command runs after this
// returns.
void OnListRightClick(WindowOperations& window);

// "复制歌曲名/歌手" (column 0) and "复制歌曲地址" (column 1): the selected row's cell goes
// onto the clipboard whole, and a message says whether that worked. With no row selected
// nothing happens: the clipboard keeps what it had.
void CopyCellOfSelectedRow(WindowOperations& window, CommandPlatform& platform,
                           std::int32_t column);

// "复制全部": every row as one line, name-singer cell, a tab, address, so that it pastes
// into a spreadsheet as two columns; a tab or line break inside a cell becomes a space.
// Nothing happens on an empty list.
void CopyAllRows(WindowOperations& window, CommandPlatform& platform);

// "保存列表…" and Ctrl+S: asks for a file, writes the rows as they are then, whole or not
// at all, and says how it went. Nothing happens on an empty list or when the user cancels.
void SaveList(WindowOperations& window, CommandPlatform& platform);

// The file and format a save writes: a known extension names the format; otherwise the
// filter's format holds, and a name without any extension gets the filter's.
SaveChoice ResolveSaveTarget(const SaveChoice& chosen);
// Why a save failed, for the message after kSaveFailedMessage.
Text SaveFailureReason(std::error_code error);

// "全部清空": every row goes; nothing is asked and the status bar stays.
void ClearAllRows(WindowOperations& window);

// The edit box gained the keyboard focus: it empties itself.
void OnEditBoxFocusGained(WindowOperations& window);

}  // namespace kavuro
