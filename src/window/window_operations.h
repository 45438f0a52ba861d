// WindowOperations: the only way the fetch and the list commands read or change the main
// window. Toolkit-free, so the core can be driven by a test double; the Qt window
// implements it for the program.
//
// The contract, for every implementation:
// - Callable from any thread. A call has taken effect, and given its result, when it
//   returns: a read sees every write made before it. One caller's calls take effect in
//   the order made; other callers' calls and user actions may come between two of them.
//   What the user sees follows within a frame.
// - Texts are GBK. An empty Text is also "no text".
// - Once the window has gone (or the caller's fetch has been cancelled), calls change
//   nothing and give their empty value at once: "", -1 for an index, 0 for a count.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace kavuro {

// The items of the list's pop-up menu "c", in menu order (a separator stands before
// CopyAll).
enum class MenuItem { CopyNameAndSinger, CopyAddress, ClearAll, CopyAll, SaveList };

class WindowOperations {
public:
    virtual ~WindowOperations() = default;

    // Replaces the whole status text. Only part 0 exists; any other part changes nothing.
    virtual void SetStatusText(std::int32_t part, const Text& text) = 0;

    // Appends one row with both cells empty; gives its index (the number of rows before
    // the call), or -1 when no row could be added.
    virtual std::int32_t InsertRow() = 0;
    // Sets one cell (column 0 or 1). A row or column that does not exist is ignored.
    virtual void SetCellText(std::int32_t row, std::int32_t column, const Text& text) = 0;
    // The whole text of one cell, however long; "" for an empty cell or a missing row
    // (row -1 included).
    virtual Text CellText(std::int32_t row, std::int32_t column) = 0;
    // Removes every row; afterwards no row is selected.
    virtual void DeleteAllRows() = 0;
    virtual std::int32_t RowCount() = 0;
    // Index of the selected row, -1 when none is.
    virtual std::int32_t SelectedRow() = 0;

    // Stores an item's enabled state; it shows from the next PopupMenu on.
    virtual void SetMenuItemEnabled(MenuItem item, bool enabled) = 0;
    // Shows menu "c" 3 pixels right of and below the pointer and returns when it has
    // closed. A chosen item's command runs after this returns.
    virtual void PopupMenu() = 0;

    // The text of the QQ-number edit box.
    virtual Text EditBoxText() = 0;
    // Replaces the edit box's whole text.
    virtual void SetEditBoxText(const Text& text) = 0;
};

}  // namespace kavuro
