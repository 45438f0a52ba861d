// CollectingWindow: the window kavuro-list runs a fetch in. It has no screen: it keeps
// the rows and the status text the fetch writes, and its edit box holds the QQ number
// to fetch. One thread only.
#pragma once

#include <array>
#include <vector>

#include "window/window_operations.h"

namespace kavuro {

class CollectingWindow final : public WindowOperations {
public:
    using Row = std::array<Text, 2>;  // name-singer cell, address

    explicit CollectingWindow(Text qqNumber) : editText_(std::move(qqNumber)) {}

    const std::vector<Row>& Rows() const { return rows_; }
    const Text& StatusText() const { return statusText_; }

    void SetStatusText(std::int32_t part, const Text& text) override;
    std::int32_t InsertRow() override;
    void SetCellText(std::int32_t row, std::int32_t column, const Text& text) override;
    Text CellText(std::int32_t row, std::int32_t column) override;
    void DeleteAllRows() override { rows_.clear(); }
    std::int32_t RowCount() override { return static_cast<std::int32_t>(rows_.size()); }
    std::int32_t SelectedRow() override { return -1; }
    void SetMenuItemEnabled(MenuItem, bool) override {}
    void PopupMenu() override {}
    Text EditBoxText() override { return editText_; }
    void SetEditBoxText(const Text& text) override { editText_ = text; }

private:
    bool IsCell(std::int32_t row, std::int32_t column) const;

    Text editText_;
    Text statusText_;
    std::vector<Row> rows_;
};

}  // namespace kavuro
