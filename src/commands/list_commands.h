// The user's commands on the result list, and the edit box's habit of emptying itself
// when it gains the focus. They keep no state and reach the window only through the
// window operations, plus the two platform operations of CommandPlatform; the shell
// binds them to the window's events, and tests call them the same way.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/text.h"
#include "window/window_operations.h"

namespace kavuro {

inline constexpr std::string_view kCopiedMessage =
    "\xB8\xB4\xD6\xC6\xB3\xC9\xB9\xA6!!";  // 复制成功!!
inline constexpr std::string_view kCopyFailedMessage =
    "\xB8\xB4\xD6\xC6\xCA\xA7\xB0\xDC!!";  // 复制失败!!

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
};

// Right click on the list: the three menu items are enabled when the list has rows and
// greyed when it has none, then menu "c" pops up. A chosen item's command runs after this
// returns.
void OnListRightClick(WindowOperations& window);

// "复制歌曲名/歌手" (column 0) and "复制歌曲地址" (column 1): the selected row's cell goes
// onto the clipboard whole, and a message says whether that worked. With no row selected
// nothing happens: the clipboard keeps what it had.
void CopyCellOfSelectedRow(WindowOperations& window, CommandPlatform& platform,
                           std::int32_t column);

// "全部清空": every row goes; nothing is asked and the status bar stays.
void ClearAllRows(WindowOperations& window);

// The edit box gained the keyboard focus: it empties itself.
void OnEditBoxFocusGained(WindowOperations& window);

}  // namespace kavuro
