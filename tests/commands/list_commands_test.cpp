#include "commands/list_commands.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/case_name.h"
#include "support/recording_window.h"

namespace kavuro {
namespace {

using test::RecordingWindow;

// Keeps what the commands hand to the platform; its clipboard may refuse.
class FakePlatform final : public CommandPlatform {
public:
    bool clipboardWorks = true;
    std::optional<Text> clipboard;
    std::vector<Text> messages;

    bool SetClipboardText(const Text& text) override {
        if (clipboardWorks) {
            clipboard = text;
        }
        return clipboardWorks;
    }
    void ShowMessage(const Text& text) override { messages.push_back(text); }
};

const std::vector<RecordingWindow::Row> kRows = {
    {"\xB5\xBE\xCF\xE3-\xD6\xDC\xBD\xDC\xC2\xD7", "http://music.example/1.mp3"},  // 稻香-周杰伦
    {"", "http://music.example/2.mp3"},
};

struct CopyCase {
    std::string name;
    std::int32_t selected;
    std::int32_t column;
    bool clipboardWorks;
    std::optional<Text> clipboard;  // what lands there; nullopt: it is not touched
    std::vector<Text> messages;
    friend void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }
};

class CopyCellTest : public testing::TestWithParam<CopyCase> {};

TEST_P(CopyCellTest, CopiesTheSelectedCellAndSaysHowItWent) {
    RecordingWindow window;
    window.SetRows(kRows);
    window.SelectRow(GetParam().selected);
    FakePlatform platform;
    platform.clipboardWorks = GetParam().clipboardWorks;
    CopyCellOfSelectedRow(window, platform, GetParam().column);
    EXPECT_EQ(platform.clipboard, GetParam().clipboard);
    EXPECT_EQ(platform.messages, GetParam().messages);
    EXPECT_EQ(window.Rows(), kRows);
}

const Text kCopied(kCopiedMessage);
const Text kFailed(kCopyFailedMessage);

INSTANTIATE_TEST_SUITE_P(
    Cases, CopyCellTest,
    testing::Values(CopyCase{"NameAndSinger", 0, 0, true, kRows[0][0], {kCopied}},
                    CopyCase{"Address", 1, 1, true, kRows[1][1], {kCopied}},
                    CopyCase{"EmptyCellReplacesTheClipboard", 1, 0, true, Text(), {kCopied}},
                    CopyCase{"NoRowSelectedChangesNothing", -1, 0, true, std::nullopt, {}},
                    CopyCase{"ClipboardRefused", 0, 1, false, std::nullopt, {kFailed}}),
    test::CaseName());

struct RightClickCase {
    std::string name;
    std::vector<RecordingWindow::Row> rows;
    bool itemsEnabled;
};

class RightClickTest : public testing::TestWithParam<RightClickCase> {};

TEST_P(RightClickTest, SetsTheThreeItemsThenPopsTheMenuUp) {
    RecordingWindow window;
    window.SetRows(GetParam().rows);
    OnListRightClick(window);
    EXPECT_EQ(window.Calls(),
              (std::vector<std::string>{"RowCount", "SetMenuItemEnabled", "SetMenuItemEnabled",
                                        "SetMenuItemEnabled", "PopupMenu"}));
    const bool enabled = GetParam().itemsEnabled;
    EXPECT_EQ(window.MenuAtLastPopup(), (std::map<MenuItem, bool>{
                                            {MenuItem::CopyNameAndSinger, enabled},
                                            {MenuItem::CopyAddress, enabled},
                                            {MenuItem::ClearAll, enabled},
                                        }));
}

INSTANTIATE_TEST_SUITE_P(Cases, RightClickTest,
                         testing::Values(RightClickCase{"EmptyListGreysEveryItem", {}, false},
                                         RightClickCase{"RowsEnableEveryItem", kRows, true}),
                         test::CaseName());

TEST(ClearAllRows, DeletesTheRowsAndNothingElse) {
    RecordingWindow window;
    window.SetRows(kRows);
    window.SelectRow(1);
    window.ShowStatus("kept");
    ClearAllRows(window);
    EXPECT_EQ(window.Calls(), std::vector<std::string>{"DeleteAllRows"});
    EXPECT_TRUE(window.Rows().empty());
    EXPECT_EQ(window.SelectedRow(), -1);
    EXPECT_EQ(window.StatusText(), "kept");
}

TEST(OnEditBoxFocusGained, EmptiesTheEditBox) {
    RecordingWindow window("12345");
    OnEditBoxFocusGained(window);
    EXPECT_EQ(window.Calls(), std::vector<std::string>{"SetEditBoxText"});
    EXPECT_EQ(window.EditBoxText(), "");
}

}  // namespace
}  // namespace kavuro
