#include "commands/list_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/case_name.h"
#include "support/recording_window.h"
#include "support/temp_folder.h"

namespace kavuro {
namespace {

using test::RecordingWindow;

// Keeps what the commands hand to the platform; its clipboard may refuse, and its save
// dialog gives saveChoice (nullopt: cancelled).
class FakePlatform final : public CommandPlatform {
public:
    bool clipboardWorks = true;
    std::optional<Text> clipboard;
    std::vector<Text> messages;
    std::optional<SaveChoice> saveChoice;
    int dialogs = 0;

    bool SetClipboardText(const Text& text) override {
        if (clipboardWorks) {
            clipboard = text;
        }
        return clipboardWorks;
    }
    void ShowMessage(const Text& text) override { messages.push_back(text); }
    std::optional<SaveChoice> ChooseSaveFile() override {
        ++dialogs;
        return saveChoice;
    }
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

TEST_P(RightClickTest, SetsEveryItemThenPopsTheMenuUp) {
    RecordingWindow window;
    window.SetRows(GetParam().rows);
    OnListRightClick(window);
    EXPECT_EQ(window.Calls(),
              (std::vector<std::string>{"RowCount", "SetMenuItemEnabled", "SetMenuItemEnabled",
                                        "SetMenuItemEnabled", "SetMenuItemEnabled",
                                        "SetMenuItemEnabled", "PopupMenu"}));
    const bool enabled = GetParam().itemsEnabled;
    EXPECT_EQ(window.MenuAtLastPopup(), (std::map<MenuItem, bool>{
                                            {MenuItem::CopyNameAndSinger, enabled},
                                            {MenuItem::CopyAddress, enabled},
                                            {MenuItem::ClearAll, enabled},
                                            {MenuItem::CopyAll, enabled},
                                            {MenuItem::SaveList, enabled},
                                        }));
}

INSTANTIATE_TEST_SUITE_P(Cases, RightClickTest,
                         testing::Values(RightClickCase{"EmptyListGreysEveryItem", {}, false},
                                         RightClickCase{"RowsEnableEveryItem", kRows, true}),
                         test::CaseName());

TEST(CopyAllRows, CopiesEveryRowAsOneLineOfTwoColumns) {
    RecordingWindow window;
    window.SetRows({kRows[0], kRows[1], {"a\tb\r", "http://x/\n1"}});
    FakePlatform platform;
    CopyAllRows(window, platform);
    EXPECT_EQ(platform.clipboard,
              kRows[0][0] + "\t" + kRows[0][1] + "\n\t" + kRows[1][1] + "\na b \thttp://x/ 1\n");
    EXPECT_EQ(platform.messages, std::vector<Text>{kCopied});

    platform.clipboardWorks = false;
    CopyAllRows(window, platform);
    EXPECT_EQ(platform.messages, (std::vector<Text>{kCopied, kFailed}));
}

TEST(CopyAllRows, AnEmptyListChangesNothing) {
    RecordingWindow window;
    FakePlatform platform;
    CopyAllRows(window, platform);
    EXPECT_EQ(platform.clipboard, std::nullopt);
    EXPECT_TRUE(platform.messages.empty());
}

struct TargetCase {
    std::string name;
    SaveChoice chosen;
    std::string path;
    ListFormat format;
    friend void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }
};

class SaveTargetTest : public testing::TestWithParam<TargetCase> {};

TEST_P(SaveTargetTest, TheExtensionWinsOverTheFilter) {
    const SaveChoice target = ResolveSaveTarget(GetParam().chosen);
    EXPECT_EQ(target.path, GetParam().path);
    EXPECT_EQ(target.filterFormat, GetParam().format);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveTargetTest,
    testing::Values(
        TargetCase{"FilterMatches", {"/t/a.csv", ListFormat::Csv}, "/t/a.csv", ListFormat::Csv},
        TargetCase{"ExtensionWins", {"/t/a.M3U8", ListFormat::Csv}, "/t/a.M3U8", ListFormat::M3u8},
        TargetCase{"NoExtensionGetsTheFilters",
                   {"/t.d/a", ListFormat::Json},
                   "/t.d/a.json",
                   ListFormat::Json},
        TargetCase{
            "HiddenNameGetsTheFilters", {"/t/.a", ListFormat::Txt}, "/t/.a.txt", ListFormat::Txt},
        TargetCase{"UnknownExtensionKeepsTheNameAndTheFilter",
                   {"/t/a.list", ListFormat::Csv},
                   "/t/a.list",
                   ListFormat::Csv}),
    test::CaseName());

// A folder of its own per test, removed afterwards.
class SaveListTest : public testing::Test {
protected:
    void SetUp() override { window.SetRows(kRows); }

    static std::string Read(const std::filesystem::path& path) { return test::ReadWholeFile(path); }

    test::TempFolder tempFolder;
    const std::filesystem::path folder = tempFolder.Path();
    RecordingWindow window;
    FakePlatform platform;
};

TEST_F(SaveListTest, WritesTheRowsInTheChosenFormatAndSaysSo) {
    platform.saveChoice = SaveChoice{(folder / "list").string(), ListFormat::M3u8};
    SaveList(window, platform);
    EXPECT_EQ(Read(folder / "list.m3u8"),
              "#EXTM3U\n#EXTINF:-1,稻香-周杰伦\nhttp://music.example/1.mp3\n#EXTINF:-1,\n"
              "http://music.example/2.mp3\n");
    EXPECT_EQ(platform.messages, std::vector<Text>{Text(kSavedMessage)});
    EXPECT_EQ(window.Rows(), kRows);
}

TEST_F(SaveListTest, AFailureNamesItsReasonAndKeepsTheOldFile) {
    std::ofstream(folder / "file") << "kept";
    platform.saveChoice = SaveChoice{(folder / "file" / "list.csv").string(), ListFormat::Csv};
    SaveList(window, platform);
    EXPECT_EQ(platform.messages,
              std::vector<Text>{ConcatTexts(
                  kSaveFailedMessage,
                  SaveFailureReason(std::make_error_code(std::errc::not_a_directory)))});
    EXPECT_EQ(Read(folder / "file"), "kept");
}

TEST_F(SaveListTest, CancellingOrAnEmptyListWritesNothing) {
    SaveList(window, platform);  // cancelled
    EXPECT_EQ(platform.dialogs, 1);
    window.SetRows({});
    platform.saveChoice = SaveChoice{(folder / "list.txt").string(), ListFormat::Txt};
    SaveList(window, platform);
    EXPECT_EQ(platform.dialogs, 1);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(SaveFailureReason, SaysCommonCausesInChineseAndOthersAsTheSystemDoes) {
    EXPECT_EQ(SaveFailureReason(std::make_error_code(std::errc::no_such_file_or_directory)),
              "\xCE\xC4\xBC\xFE\xBC\xD0\xB2\xBB\xB4\xE6\xD4\xDA");  // 文件夹不存在
    EXPECT_EQ(SaveFailureReason(std::make_error_code(std::errc::permission_denied)),
              "\xC3\xBB\xD3\xD0\xD0\xB4\xC8\xEB\xC8\xA8\xCF\xDE");  // 没有写入权限
    EXPECT_EQ(SaveFailureReason(std::make_error_code(std::errc::io_error)), "Input/output error");
}

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
