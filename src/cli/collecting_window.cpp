#include "cli/collecting_window.h"

namespace kavuro {

void CollectingWindow::SetStatusText(std::int32_t part, const Text& text) {
    if (part == 0) {
        statusText_ = text;
    }
}

std::int32_t CollectingWindow::InsertRow() {
    rows_.emplace_back();
    return static_cast<std::int32_t>(rows_.size()) - 1;
}

void CollectingWindow::SetCellText(std::int32_t row, std::int32_t column, const Text& text) {
    if (IsCell(row, column)) {
        rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
    }
}

Text CollectingWindow::CellText(std::int32_t row, std::int32_t column) {
    return IsCell(row, column)
               ? rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]
               : Text();
}

bool CollectingWindow::IsCell(std::int32_t row, std::int32_t column) const {
    return row >= 0 && static_cast<std::size_t>(row) < rows_.size() && column >= 0 && column < 2;
}

}  // namespace kavuro
