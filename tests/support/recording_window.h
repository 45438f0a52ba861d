// RecordingWindow: a WindowOperations that keeps the window state in memory and records
// every call, for tests of the code that drives the window. Thread-safe, so a fetch may
// run on a worker while the test reads it.
#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "window/window_operations.h"

namespace kavuro::test {

class RecordingWindow final : public WindowOperations {
public:
    using Row = std::array<Text, 2>;

    explicit RecordingWindow(Text editText = "1234567890") : editText_(std::move(editText)) {}

    void SetStatusText(std::int32_t part, const Text& text) override {
        Record("SetStatusText", [&] {
            if (part == 0) {
                statusText_ = text;
                statusHistory_.push_back(text);
            }
        });
    }
    std::int32_t InsertRow() override {
        std::int32_t index = -1;
        Record("InsertRow", [&] {
            index = static_cast<std::int32_t>(rows_.size());
            rows_.emplace_back();
        });
        return index;
    }
    void SetCellText(std::int32_t row, std::int32_t column, const Text& text) override {
        Record("SetCellText", [&] {
            if (row >= 0 && row < static_cast<std::int32_t>(rows_.size()) && column >= 0 &&
                column < 2) {
                rows_[row][column] = text;
            }
        });
    }
    Text CellText(std::int32_t row, std::int32_t column) override {
        Text text;
        Record("CellText", [&] {
            if (row >= 0 && row < static_cast<std::int32_t>(rows_.size()) && column >= 0 &&
                column < 2) {
                text = rows_[row][column];
            }
        });
        return text;
    }
    void DeleteAllRows() override {
        Record("DeleteAllRows", [&] {
            rows_.clear();
            selectedRow_ = -1;
        });
    }
    std::int32_t RowCount() override {
        std::int32_t count = 0;
        Record("RowCount", [&] { count = static_cast<std::int32_t>(rows_.size()); });
        return count;
    }
    std::int32_t SelectedRow() override {
        std::int32_t row = -1;
        Record("SelectedRow", [&] { row = selectedRow_; });
        return row;
    }
    void SetMenuItemEnabled(MenuItem item, bool enabled) override {
        Record("SetMenuItemEnabled", [&] { menuEnabled_[static_cast<int>(item)] = enabled; });
    }
    void PopupMenu() override {
        Record("PopupMenu", [] {});
    }
    Text EditBoxText() override {
        Text text;
        Record("EditBoxText", [&] { text = editText_; });
        return text;
    }
    void SetEditBoxText(const Text& text) override {
        Record("SetEditBoxText", [&] { editText_ = text; });
    }

    // Runs before every later call takes effect, with the call's name; for faults that
    // must land between two calls (a user's clear-all, a cancellation).
    void BeforeEachCall(std::function<void(const std::string& call)> hook) {
        const std::lock_guard lock(mutex_);
        beforeEachCall_ = std::move(hook);
    }
    // From now on every call is ignored and gives its empty value, as on a window that
    // has gone or a fetch that has been cancelled.
    void Revoke() {
        const std::lock_guard lock(mutex_);
        revoked_ = true;
    }

    std::vector<std::string> Calls() const { return Locked(calls_); }
    std::vector<Text> StatusHistory() const { return Locked(statusHistory_); }
    Text StatusText() const { return Locked(statusText_); }
    std::vector<Row> Rows() const { return Locked(rows_); }
    std::array<bool, 5> MenuEnabled() const { return Locked(menuEnabled_); }
    void SetRows(std::vector<Row> rows) {
        const std::lock_guard lock(mutex_);
        rows_ = std::move(rows);
    }
    void SelectRow(std::int32_t row) {
        const std::lock_guard lock(mutex_);
        selectedRow_ = row;
    }

private:
    template <typename Effect>
    void Record(const char* call, Effect&& effect) {
        std::function<void(const std::string&)> hook;
        {
            const std::lock_guard lock(mutex_);
            hook = beforeEachCall_;
        }
        if (hook) {
            hook(call);
        }
        const std::lock_guard lock(mutex_);
        if (revoked_) {
            return;
        }
        calls_.emplace_back(call);
        effect();
    }
    template <typename Value>
    Value Locked(const Value& value) const {
        const std::lock_guard lock(mutex_);
        return value;
    }

    mutable std::mutex mutex_;
    std::function<void(const std::string&)> beforeEachCall_;
    bool revoked_ = false;
    std::vector<std::string> calls_;
    std::vector<Text> statusHistory_;
    Text statusText_;
    std::vector<Row> rows_;
    std::int32_t selectedRow_ = -1;
    std::array<bool, 5> menuEnabled_{true, true, true, true, true};
    Text editText_;
};

}  // namespace kavuro::test
