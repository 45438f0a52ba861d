// The list commands as the user meets them: through the real window, its pop-up menu,
// the clipboard and the message box, bound by the program.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "commands/list_commands.h"
#include "support/case_name.h"
#include "support/program_fixture.h"
#include "support/qt_print.h"
#include "support/temp_folder.h"
#include "text/gbk.h"
#include "ui/qt_text.h"
#include "ui/song_list.h"

namespace kavuro {
namespace {

using test::SeenBox;
using test::WaitUntil;

const QString kName = QStringLiteral("稻香-周杰伦");
const QString kLongAddress = QStringLiteral("http://music.example/") + QString(1979, u'a');

const std::vector<bool> kAllGreyed(5, false);
const std::vector<bool> kAllEnabled(5, true);
// Indexes of the items among the menu's actions (a separator stands before copy-all).
constexpr int kCopyAllItem = 4;
constexpr int kSaveListItem = 5;

// The pop-up as it was when it opened; enabled holds the items' states, separator left out.
struct SeenPopup {
    bool seen = false;
    QMenu* menu = nullptr;
    std::vector<bool> enabled;
};

class ListCommandsTest : public test::ProgramFixture {
protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        StartProgram();
        operations = std::make_unique<QtWindowOperations>(&Window());
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    }

    void AddRows() {
        for (const auto& [name, address] :
             {std::pair{kName, kLongAddress},
              std::pair{QStringLiteral("红豆-王菲"), QStringLiteral("http://music.example/2")}}) {
            const std::int32_t row = operations->InsertRow();
            operations->SetCellText(row, 0, ToText(name));
            operations->SetCellText(row, 1, ToText(address));
        }
        Window().ShowStoreChanges();
    }

    // A right click at a point of the rows area, as the window system delivers it.
    // Arm the pop-up first: the click returns only when the pop-up has closed.
    void RightClick(QPoint inRows) {
        SongList* list = Window().list();
        const QPoint at = list->viewport()->mapTo(&Window(), inRows);
        QCursor::setPos(Window().mapToGlobal(at));
        QTest::mouseClick(Window().windowHandle(), Qt::RightButton, {}, at);
    }

    QPoint RowCentre(int row) const {
        return Window().list()->visualRect(Window().list()->model()->index(row, 0)).center();
    }

    QPoint BelowTheRows() const {
        SongList* list = Window().list();
        const int count = list->model()->rowCount();
        const int bottom =
            count == 0 ? 0 : list->visualRect(list->model()->index(count - 1, 0)).bottom();
        return QPoint(30, bottom + 40);
    }

    // When the pop-up opens: notes it, runs whileOpen, then picks item choose (clicking
    // it as a user would) or, without one, closes the pop-up unchosen.
    [[nodiscard]] static test::PendingAct ArmPopup(SeenPopup& seen, std::optional<int> choose,
                                                   std::function<void(QMenu*)> whileOpen = {}) {
        return test::ActOnPopup([&seen, choose, whileOpen](QWidget* widget) {
            auto* menu = qobject_cast<QMenu*>(widget);
            ASSERT_NE(menu, nullptr);
            seen.seen = true;
            seen.menu = menu;
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator()) {
                    seen.enabled.push_back(action->isEnabled());
                }
            }
            if (whileOpen) {
                whileOpen(menu);
            }
            if (choose) {
                QAction* action = menu->actions().at(*choose);
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            }
            if (menu->isVisible()) {
                menu->close();
            }
        });
    }

    // True once every event posted before this call has been handled, chosen items'
    // commands included.
    bool WaitForQueuedHandlers() {
        bool reached = false;
        QMetaObject::invokeMethod(
            qApp, [&reached] { reached = true; }, Qt::QueuedConnection);
        return WaitUntil([&] { return reached; });
    }

    std::unique_ptr<QtWindowOperations> operations;
};

TEST_F(ListCommandsTest, OnAnEmptyListThePopupIsGreyedAndNothingCanBeChosen) {
    SeenPopup popup;
    bool stillOpen = true;
    auto popupAct = ArmPopup(popup, std::nullopt, [&](QMenu* menu) {
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) {
                continue;
            }
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            stillOpen = stillOpen && menu->isVisible();
        }
    });
    SeenBox box;
    auto boxAct = test::AnswerMessageBox(box);
    RightClick(QPoint(30, 30));
    ASSERT_TRUE(WaitForQueuedHandlers());
    ASSERT_TRUE(popup.seen);
    EXPECT_EQ(popup.enabled, kAllGreyed);
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(box.seen);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
}

TEST_F(ListCommandsTest, ThePopupOpensBesideThePointer) {
    AddRows();
    SeenPopup popup;
    QPoint shownAt;
    auto popupAct = ArmPopup(popup, std::nullopt, [&](QMenu* menu) { shownAt = menu->pos(); });
    const QPoint pointer = Window().list()->viewport()->mapToGlobal(RowCentre(1));
    RightClick(RowCentre(1));
    EXPECT_EQ(shownAt, pointer + QPoint(3, 3));
}

struct CopyCase {
    std::string name;
    int item;  // in menu order
    int row;
    QString copied;
    friend void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }
};

class CopyTest : public ListCommandsTest, public testing::WithParamInterface<CopyCase> {};

TEST_P(CopyTest, ARightClickSelectsTheRowAndTheItemCopiesItsCellWhole) {
    AddRows();
    SeenPopup popup;
    auto popupAct = ArmPopup(popup, GetParam().item);
    SeenBox box;
    // Connected after the program's handler, so this runs once that handler has returned.
    bool rightClickHandled = false;
    QObject::connect(Window().list(), &SongList::rightClicked, &Window(),
                     [&] { rightClickHandled = true; });
    bool commandAfterRightClick = false;
    auto boxAct = test::AnswerMessageBox(box, [&] { commandAfterRightClick = rightClickHandled; });
    RightClick(RowCentre(GetParam().row));
    EXPECT_EQ(operations->SelectedRow(), GetParam().row);
    ASSERT_TRUE(WaitUntil([&] { return box.seen; }));
    EXPECT_TRUE(commandAfterRightClick);
    EXPECT_EQ(popup.enabled, kAllEnabled);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), GetParam().copied);
    EXPECT_EQ(box.text, QStringLiteral("复制成功!!"));
    EXPECT_EQ(box.caption, QStringLiteral("信息："));
}

INSTANTIATE_TEST_SUITE_P(Items, CopyTest,
                         testing::Values(CopyCase{"ChineseNameAndSinger", 0, 0, kName},
                                         CopyCase{"LongAddress", 1, 0, kLongAddress},
                                         CopyCase{"SecondRowsAddress", 1, 1,
                                                  QStringLiteral("http://music.example/2")}),
                         test::CaseName());

TEST_F(ListCommandsTest, TheMessageBoxBlocksTheWindowWhileRowsStillArrive) {
    AddRows();
    SeenPopup popup;
    auto popupAct = ArmPopup(popup, 0);
    SeenBox box;
    bool rowsArrived = false;
    auto boxAct = test::AnswerMessageBox(box, [&] {
        // A click on the button goes nowhere while the box is open ...
        const QPoint button = Window().button()->geometry().center();
        QTest::mouseClick(Window().windowHandle(), Qt::LeftButton, {},
                          Window().centralWidget()->mapTo(&Window(), button));
        // ... but a fetch's rows still come in.
        QtWindowOperations fetchWindow(&Window());
        std::atomic<bool> done{false};
        std::thread worker([&] {
            fetchWindow.InsertRow();
            fetchWindow.SetStatusText(0, "from a worker");
            done = true;
        });
        rowsArrived = WaitUntil([&] {
            return done.load() && Window().list()->model()->rowCount() == 3 &&
                   Window().statusPart()->text() == "from a worker";
        });
        worker.join();
    });
    RightClick(RowCentre(0));
    ASSERT_TRUE(WaitUntil([&] { return box.seen; }));
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.parent, nullptr);
    EXPECT_EQ(box.buttons, 1);
    EXPECT_EQ(box.modality, Qt::ApplicationModal);
    EXPECT_TRUE(rowsArrived);
    EXPECT_EQ(Window().statusPart()->text(), "from a worker");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Program::RunningWorkers(), 0);
}

TEST_F(ListCommandsTest, CopyingWithNoRowSelectedLeavesTheClipboardAndShowsNothing) {
    AddRows();
    Window().list()->selectRow(0);
    SeenPopup popup;
    auto popupAct = ArmPopup(popup, 0);
    SeenBox box;
    auto boxAct = test::AnswerMessageBox(box);
    RightClick(BelowTheRows());
    ASSERT_TRUE(WaitForQueuedHandlers());
    EXPECT_EQ(popup.enabled, kAllEnabled);
    EXPECT_EQ(operations->SelectedRow(), -1);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    EXPECT_FALSE(box.seen);
}

TEST_F(ListCommandsTest, ClearAllEmptiesTheListAndTheNextPopupIsGreyed) {
    AddRows();
    operations->SetStatusText(0, "kept");
    SeenPopup popup;
    auto popupAct = ArmPopup(popup, 2);
    RightClick(RowCentre(1));
    ASSERT_TRUE(WaitUntil([&] { return operations->RowCount() == 0; }));
    EXPECT_EQ(operations->SelectedRow(), -1);
    EXPECT_EQ(Window().statusPart()->text(), "kept");

    SeenPopup next;
    auto nextAct = ArmPopup(next, std::nullopt);
    RightClick(QPoint(30, 30));
    EXPECT_EQ(next.enabled, kAllGreyed);
}

TEST_F(ListCommandsTest, RowsAddedWhileThePopupIsOpenLeaveItsItemsAlone) {
    SeenPopup popup;
    std::vector<bool> enabledLater;
    auto popupAct = ArmPopup(popup, std::nullopt, [&](QMenu* menu) {
        QtWindowOperations fetchWindow(&Window());
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < 3; ++i) {
                fetchWindow.InsertRow();
            }
            done = true;
        });
        EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
        worker.join();
        EXPECT_TRUE(WaitUntil([&] { return Window().list()->model()->rowCount() == 3; }));
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) {
                enabledLater.push_back(action->isEnabled());
            }
        }
    });
    RightClick(QPoint(30, 30));
    EXPECT_EQ(popup.enabled, kAllGreyed);
    EXPECT_EQ(enabledLater, popup.enabled);
}

TEST_F(ListCommandsTest, CopyAllPutsEveryRowOnTheClipboardAsTwoColumns) {
    AddRows();
    SeenPopup popup;
    auto popupAct = ArmPopup(popup, kCopyAllItem);
    SeenBox box;
    auto boxAct = test::AnswerMessageBox(box);
    RightClick(BelowTheRows());
    ASSERT_TRUE(WaitUntil([&] { return box.seen; }));
    EXPECT_EQ(popup.enabled, kAllEnabled);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              kName + "\t" + kLongAddress + "\n红豆-王菲\thttp://music.example/2\n");
    EXPECT_EQ(box.text, QStringLiteral("复制成功!!"));
    EXPECT_EQ(box.caption, QStringLiteral("信息："));
}

// Saving, through the real file dialog, into a folder of the test's own.
class SaveListTest : public ListCommandsTest {
protected:
    // When the save dialog opens: notes its filters, picks filter (a user's choice in
    // its combo box), types name into its name field and presses save; without a name,
    // cancels. The message box that follows a save is answered into box.
    [[nodiscard]] test::PendingAct AnswerSaveDialog(int filter, std::optional<QString> name,
                                                    SeenBox& box) {
        return test::ActOnModal([this, filter, name, &box](QWidget* widget) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            ASSERT_NE(dialog, nullptr);
            dialogFilters = dialog->nameFilters();
            if (!name) {
                dialog->reject();
                return;
            }
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(types, nullptr);
            ASSERT_NE(nameField, nullptr);
            types->setCurrentIndex(filter);
            emit types->activated(filter);
            emit types->textActivated(types->itemText(filter));
            nameField->setText(*name);
            boxAct.emplace(test::AnswerMessageBox(box));
            QMetaObject::invokeMethod(dialog, "accept");
        });
    }

    static std::string Read(const std::filesystem::path& path) { return test::ReadWholeFile(path); }

    test::TempFolder tempFolder;
    const std::filesystem::path folder = tempFolder.Path();
    QStringList dialogFilters;
    std::optional<test::PendingAct> boxAct;
};

TEST_F(SaveListTest, TheChosenFilterNamesTheFormatOfANameWithoutExtension) {
    AddRows();
    SeenPopup popup;
    auto popupAct = ArmPopup(popup, kSaveListItem);
    SeenBox box;
    auto dialogAct = AnswerSaveDialog(1, QString::fromStdString((folder / "list").string()), box);
    RightClick(RowCentre(0));
    ASSERT_TRUE(WaitUntil([&] { return box.seen; }));
    EXPECT_EQ(dialogFilters, (QStringList{"文本 (*.txt)", "M3U8 播放列表 (*.m3u8)",
                                          "CSV 表格 (*.csv)", "JSON (*.json)"}));
    EXPECT_EQ(box.text, QStringLiteral("保存成功!!"));
    EXPECT_EQ(box.caption, QStringLiteral("信息："));
    EXPECT_EQ(box.modality, Qt::ApplicationModal);
    EXPECT_EQ(Read(folder / "list.m3u8"), "#EXTM3U\n#EXTINF:-1,稻香-周杰伦\n" +
                                              kLongAddress.toStdString() +
                                              "\n#EXTINF:-1,红豆-王菲\nhttp://music.example/2\n");
}

TEST_F(SaveListTest, CtrlSSavesAndTheExtensionWinsOverTheFilter) {
    AddRows();
    SeenBox box;
    auto dialogAct =
        AnswerSaveDialog(0, QString::fromStdString((folder / "list.csv").string()), box);
    QTest::keyClick(Window().list(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return box.seen; }));
    EXPECT_EQ(box.text, QStringLiteral("保存成功!!"));
    EXPECT_EQ(Read(folder / "list.csv"), "\xEF\xBB\xBF歌曲名/歌手,歌曲地址\r\n稻香-周杰伦," +
                                             kLongAddress.toStdString() +
                                             "\r\n红豆-王菲,http://music.example/2\r\n");
}

TEST_F(SaveListTest, AFolderThatCannotBeWrittenFailsAndKeepsWhatWasThere) {
    AddRows();
    std::ofstream(folder / "file") << "kept";
    SeenPopup popup;
    auto popupAct = ArmPopup(popup, kSaveListItem);
    SeenBox box;
    auto dialogAct =
        AnswerSaveDialog(2, QString::fromStdString((folder / "file" / "list.csv").string()), box);
    RightClick(RowCentre(1));
    ASSERT_TRUE(WaitUntil([&] { return box.seen; }));
    EXPECT_EQ(box.text, QStringLiteral("保存失败!!路径中有一项不是文件夹"));
    EXPECT_EQ(box.caption, QStringLiteral("信息："));
    EXPECT_EQ(Read(folder / "file"), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(SaveListTest, CancellingTheDialogWritesNothingAndShowsNothing) {
    AddRows();
    SeenBox box;
    auto dialogAct = AnswerSaveDialog(0, std::nullopt, box);
    QTest::keyClick(Window().list(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return !dialogFilters.isEmpty(); }));
    ASSERT_TRUE(WaitForQueuedHandlers());
    EXPECT_FALSE(box.seen);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(SaveListTest, CtrlSOnAnEmptyListOpensNoDialog) {
    QTest::keyClick(Window().list(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(WaitForQueuedHandlers());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

struct MenuKeyCase {
    std::string name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    friend void PrintTo(const MenuKeyCase& c, std::ostream* os) { *os << c.name; }
};

// The pop-up from the keyboard: the right click's menu, items, enabled states and
// commands, at the selected row or at the list's top-left corner.
class MenuKeyTest : public ListCommandsTest, public testing::WithParamInterface<MenuKeyCase> {
protected:
    void PressMenuKey() { QTest::keyClick(Window().list(), GetParam().key, GetParam().modifiers); }

    // The pop-up as a right click at inRows shows it, closed unchosen.
    SeenPopup RightClickPopup(QPoint inRows) {
        SeenPopup popup;
        auto act = ArmPopup(popup, std::nullopt);
        RightClick(inRows);
        return popup;
    }

    QPoint BelowRow(int row) const {
        const QRect rect = Window().list()->visualRect(Window().list()->model()->index(row, 0));
        return Window().list()->viewport()->mapToGlobal(QPoint(0, rect.bottom() + 1));
    }
};

TEST_P(MenuKeyTest, OpensThePopupBelowTheSelectedRowAndItsItemsWork) {
    AddRows();
    QTest::keyClick(Window().list(), Qt::Key_Down);
    QTest::keyClick(Window().list(), Qt::Key_Down);
    ASSERT_EQ(operations->SelectedRow(), 1);
    SeenPopup popup;
    QPoint shownAt;
    auto popupAct = ArmPopup(popup, 1, [&](QMenu* menu) { shownAt = menu->pos(); });
    SeenBox box;
    auto boxAct = test::AnswerMessageBox(box);
    PressMenuKey();
    ASSERT_TRUE(WaitUntil([&] { return box.seen; }));
    EXPECT_EQ(shownAt, BelowRow(1));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("http://music.example/2"));
    EXPECT_EQ(box.text, QStringLiteral("复制成功!!"));

    const SeenPopup clicked = RightClickPopup(RowCentre(1));
    EXPECT_EQ(popup.menu, clicked.menu);
    EXPECT_EQ(popup.enabled, clicked.enabled);
}

TEST_P(MenuKeyTest, WithNoRowSelectedOpensAtTheListsCornerLikeTheRightClick) {
    for (const bool withRows : {false, true}) {
        SCOPED_TRACE(withRows ? "rows" : "no rows");
        if (withRows) {
            AddRows();
        }
        const SeenPopup clicked = RightClickPopup(BelowTheRows());
        ASSERT_EQ(operations->SelectedRow(), -1);
        SeenPopup popup;
        QPoint shownAt;
        auto popupAct = ArmPopup(popup, 0, [&](QMenu* menu) { shownAt = menu->pos(); });
        SeenBox box;
        auto boxAct = test::AnswerMessageBox(box);
        PressMenuKey();
        ASSERT_TRUE(WaitForQueuedHandlers());
        ASSERT_TRUE(popup.seen);
        EXPECT_EQ(shownAt, Window().list()->mapToGlobal(QPoint(0, 0)));
        EXPECT_EQ(popup.enabled, clicked.enabled);
        EXPECT_EQ(popup.enabled, std::vector<bool>(popup.enabled.size(), withRows));
        EXPECT_FALSE(box.seen);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, MenuKeyTest,
                         testing::Values(MenuKeyCase{"Menu", Qt::Key_Menu, Qt::NoModifier},
                                         MenuKeyCase{"ShiftF10", Qt::Key_F10, Qt::ShiftModifier}),
                         test::CaseName());

// The window system may also send the Menu key as a context-menu event; that, and keys
// near the two, open nothing.
TEST_F(ListCommandsTest, OtherKeysAndTheWindowSystemsMenuEventOpenNoSecondPopup) {
    AddRows();
    SeenPopup popup;
    auto popupAct = ArmPopup(popup, std::nullopt);
    QTest::keyClick(Window().list(), Qt::Key_F10);
    QTest::keyClick(Window().list(), Qt::Key_F10, Qt::ControlModifier);
    QTest::keyClick(Window().list(), Qt::Key_Menu, Qt::ControlModifier);
    QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, QPoint(0, 0),
                                   Window().list()->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(Window().list(), &fromKeyboard);
    ASSERT_TRUE(WaitForQueuedHandlers());
    EXPECT_FALSE(popup.seen);
}

class EditBoxFocusTest : public ListCommandsTest {
protected:
    QPoint EditBoxInWindow() const {
        return Window().centralWidget()->mapTo(&Window(), Window().editBox()->geometry().center());
    }
    QPoint ButtonInWindow() const {
        return Window().centralWidget()->mapTo(&Window(), Window().button()->geometry().center());
    }
    void Click(QPoint inWindow) {
        QTest::mouseClick(Window().windowHandle(), Qt::LeftButton, {}, inWindow);
    }
    QString EditText() const { return Window().editBox()->text(); }
};

TEST_F(EditBoxFocusTest, StartUpKeepsTheInitialNumber) {
    EXPECT_EQ(QApplication::focusWidget(), Window().list());
    EXPECT_EQ(EditText(), "1234567890");
}

TEST_F(EditBoxFocusTest, AClickIntoTheBoxEmptiesItButNotASecondClick) {
    Click(EditBoxInWindow());
    EXPECT_EQ(QApplication::focusWidget(), Window().editBox());
    EXPECT_EQ(EditText(), "");
    QTest::keyClicks(Window().editBox(), "123");
    Click(EditBoxInWindow());
    EXPECT_EQ(EditText(), "123");
}

TEST_F(EditBoxFocusTest, TabAndShiftTabOntoTheBoxEmptyIt) {
    QTest::keyClick(Window().list(), Qt::Key_Tab);
    EXPECT_EQ(EditText(), "");
    QTest::keyClicks(Window().editBox(), "42");
    QTest::keyClick(Window().editBox(), Qt::Key_Tab);
    EXPECT_EQ(EditText(), "42");
    QTest::keyClick(Window().button(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(EditText(), "");
}

TEST_F(EditBoxFocusTest, ReactivationEmptiesTheBoxThatHadTheFocus) {
    Click(EditBoxInWindow());
    QTest::keyClicks(Window().editBox(), "777");
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(EditText(), "777");
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    EXPECT_EQ(QApplication::focusWidget(), Window().editBox());
    EXPECT_EQ(EditText(), "");
}

TEST_F(EditBoxFocusTest, PressingTheButtonAfterTypingKeepsTheNumber) {
    Click(EditBoxInWindow());
    QTest::keyClicks(Window().editBox(), "555");
    Click(ButtonInWindow());
    ASSERT_TRUE(WaitForRequests(1));
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(EditText(), "555");
    EXPECT_NE(server.Requests()[0].find("uin=555 "), std::string::npos);
}

}  // namespace
}  // namespace kavuro
