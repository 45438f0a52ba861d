#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolTip>
#include <QUrl>

#include <memory>
#include <vector>

#include "support/case_name.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "support/url_recorder.h"
#include "ui/hyperlink.h"
#include "ui/qt_text.h"
#include "ui/qt_window_operations.h"
#include "ui/song_list.h"

namespace kavuro {
namespace {

using test::WaitUntil;

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    QWidget* Control(const char* name) const {
        return window->findChild<QWidget*>(QString::fromUtf8(name));
    }

    void AddRows(int count) {
        QtWindowOperations operations(window.get());
        for (int row = 0; row < count; ++row) {
            const std::int32_t index = operations.InsertRow();
            operations.SetCellText(index, 0, ToText(QStringLiteral("歌%1-歌手").arg(row)));
            operations.SetCellText(index, 1, ToText(QStringLiteral("http://x/%1").arg(row)));
        }
        window->ShowStoreChanges();
    }

    std::vector<QWidget*> Focusable() const {
        return {window->list(), window->editBox(), window->button()};
    }

    std::unique_ptr<MainWindow> window;
};

struct PlaceCase {
    std::string name;
    const char* objectName;
    QRect geometry;
    friend void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }
};

class ControlPlaceTest : public MainWindowTest, public testing::WithParamInterface<PlaceCase> {};

TEST_P(ControlPlaceTest, SitsAtItsFixedPlaceVisibleAndEnabled) {
    QWidget* control = Control(GetParam().objectName);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), GetParam().geometry);
    EXPECT_TRUE(control->isVisible());
    EXPECT_TRUE(control->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Controls, ControlPlaceTest,
                         testing::Values(PlaceCase{"Link2", "超级链接框2", QRect(360, 0, 120, 32)},
                                         PlaceCase{"Link1", "超级链接框1", QRect(240, 0, 112, 32)},
                                         PlaceCase{"Button", "按钮1", QRect(152, 5, 72, 25)},
                                         PlaceCase{"EditBox", "编辑框1", QRect(34, 5, 104, 24)},
                                         PlaceCase{"Label", "标签1", QRect(13, 4, 30, 31)},
                                         PlaceCase{"List", "超级列表框1", QRect(5, 39, 475, 225)}),
                         test::CaseName());

TEST_F(MainWindowTest, IsAFixedCentredWindowWithTheStatusBarBelowTheList) {
    EXPECT_EQ(window->windowTitle(), "Kavuro");
    EXPECT_EQ(window->size(), QSize(486, 289));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    const QRect screen = window->screen()->geometry();
    EXPECT_LE(std::abs(window->frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(window->frameGeometry().center().y() - screen.center().y()), 1);

    const QStatusBar* status = window->statusBar();
    EXPECT_EQ(status->objectName(), QStringLiteral("状态条1"));
    EXPECT_EQ(status->geometry().bottom(), 288);
    EXPECT_EQ(status->width(), 486);
    EXPECT_FALSE(status->isSizeGripEnabled());
    EXPECT_LE(window->list()->mapTo(window.get(), QPoint(0, window->list()->height())).y(),
              status->geometry().top());

    EXPECT_TRUE(window->windowIcon().availableSizes().contains(QSize(48, 48)));
}

TEST_F(MainWindowTest, StartsWithItsInitialTexts) {
    EXPECT_EQ(window->button()->text(), QStringLiteral("获取"));
    EXPECT_EQ(window->editBox()->text(), QStringLiteral("1234567890"));
    EXPECT_EQ(static_cast<QLabel*>(Control("标签1"))->text(), QStringLiteral("QQ:"));
    EXPECT_EQ(window->statusPart()->text(), QString());
    EXPECT_EQ(window->list()->model()->rowCount(), 0);
    EXPECT_EQ(window->list()->selectedRow(), -1);

    const QAbstractItemModel* rows = window->list()->model();
    EXPECT_EQ(rows->headerData(0, Qt::Horizontal), QStringLiteral("歌曲名/歌手"));
    EXPECT_EQ(rows->headerData(1, Qt::Horizontal), QStringLiteral("歌曲地址"));
    EXPECT_EQ(window->list()->columnWidth(0), 140);
    EXPECT_EQ(window->list()->columnWidth(1), 320);
    EXPECT_EQ(window->list()->header()->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_EQ(window->list()->header()->sectionResizeMode(1), QHeaderView::Interactive);

    EXPECT_FALSE(window->button()->isDefault());
    EXPECT_FALSE(window->button()->autoDefault());
}

TEST_F(MainWindowTest, KeepsMenuCOutOfAnyMenuBar) {
    EXPECT_EQ(window->findChild<QMenuBar*>(), nullptr);
    const QList<QAction*> actions = window->popupMenu()->actions();
    ASSERT_EQ(actions.size(), 6);
    EXPECT_EQ(actions[0], window->menuAction(MenuItem::CopyNameAndSinger));
    EXPECT_EQ(actions[0]->text(), QStringLiteral("复制歌曲名/歌手"));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("复制歌曲地址"));
    EXPECT_EQ(actions[2]->text(), QStringLiteral("全部清空"));
    EXPECT_TRUE(actions[3]->isSeparator());
    EXPECT_EQ(actions[4], window->menuAction(MenuItem::CopyAll));
    EXPECT_EQ(actions[4]->text(), QStringLiteral("复制全部"));
    EXPECT_EQ(actions[5], window->menuAction(MenuItem::SaveList));
    EXPECT_EQ(actions[5]->text(), QStringLiteral("保存列表…"));
    for (QAction* action : actions) {
        EXPECT_TRUE(action->isEnabled());
        EXPECT_FALSE(action->isCheckable());
    }
    for (int i : {0, 1, 2, 4}) {
        EXPECT_TRUE(actions[i]->shortcut().isEmpty());
    }
    EXPECT_EQ(actions[5]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(window->saveShortcut()->key(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(window->menuAction(static_cast<MenuItem>(5)), nullptr);
}

TEST_F(MainWindowTest, GivesTheFirstFocusToTheListAndLeavesTheEditBoxAlone) {
    QSignalSpy focusGained(window.get(), &MainWindow::editBoxFocusGained);
    EXPECT_EQ(QApplication::focusWidget(), window->list());
    EXPECT_EQ(focusGained.count(), 0);
}

TEST_F(MainWindowTest, TabAndShiftTabCycleListEditBoxButton) {
    QWidget* const forward[] = {window->editBox(), window->button(), window->list(),
                                window->editBox()};
    for (QWidget* expected : forward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected);
    }
    QWidget* const backward[] = {window->list(), window->button(), window->editBox(),
                                 window->list()};
    for (QWidget* expected : backward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), expected);
    }
}

TEST_F(MainWindowTest, EditBoxSignalsEveryFocusGainButNotAPopupsReturn) {
    QSignalSpy focusGained(window.get(), &MainWindow::editBoxFocusGained);
    QTest::keyClick(window->list(), Qt::Key_Tab);
    EXPECT_EQ(focusGained.count(), 1);
    QTest::mouseClick(window->editBox(), Qt::LeftButton);  // already has the focus
    EXPECT_EQ(focusGained.count(), 1);

    // The edit box's own context menu borrows the focus and hands it back.
    QFocusEvent popupOut(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(window->editBox(), &popupOut);
    QFocusEvent popupIn(QEvent::FocusIn, Qt::PopupFocusReason);
    QApplication::sendEvent(window->editBox(), &popupIn);
    EXPECT_EQ(focusGained.count(), 1);

    QTest::keyClick(window->editBox(), Qt::Key_Tab);
    QTest::keyClick(window->button(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusGained.count(), 2);
}

TEST_F(MainWindowTest, GivesTheFocusBackOnReactivation) {
    window->editBox()->setFocus(Qt::TabFocusReason);
    QSignalSpy focusGained(window.get(), &MainWindow::editBoxFocusGained);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), window->editBox());
    EXPECT_EQ(focusGained.count(), 1);
}

TEST_F(MainWindowTest, EscClosesFromEveryControl) {
    for (QWidget* control : Focusable()) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Escape);
        EXPECT_FALSE(window->isVisible()) << control->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, EnterDoesNothingButSpacePressesTheButton) {
    AddRows(2);
    QSignalSpy clicked(window->button(), &QPushButton::clicked);
    for (QWidget* control : Focusable()) {
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Return);
        QTest::keyClick(control, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(QApplication::focusWidget(), control);
    }
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(window->list()->model()->rowCount(), 2);

    QTest::keyClick(window->button(), Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 1);
}

struct TypedCase {
    std::string name;
    QString typed;
    QString kept;
    friend void PrintTo(const TypedCase& c, std::ostream* os) { *os << c.name; }
};

class EditFilterTest : public MainWindowTest, public testing::WithParamInterface<TypedCase> {};

TEST_P(EditFilterTest, TakesOnlyDigitsAndMinusWhenTyped) {
    QLineEdit* edit = window->editBox();
    edit->setFocus();
    edit->clear();
    for (QChar typed : GetParam().typed) {
        // As a keyboard layout would send it; QTest knows only ASCII keys.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(typed));
        QApplication::sendEvent(edit, &press);
    }
    EXPECT_EQ(edit->text(), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Typed, EditFilterTest,
                         testing::Values(TypedCase{"Digits", "0123456789", "0123456789"},
                                         TypedCase{"MinusAnywhere", "-12-3-", "-12-3-"},
                                         TypedCase{"LettersDropped", "1a2B3z", "123"},
                                         TypedCase{"SpacesDropped", " 1 2 ", "12"},
                                         TypedCase{"PunctuationDropped", "1.2,3+4_5/6", "123456"},
                                         TypedCase{"WideCharactersDropped",
                                                   QStringLiteral("1一２3"), "13"}),
                         test::CaseName());

TEST_F(MainWindowTest, EditFilterLetsEditingKeysAndPasteThrough) {
    QLineEdit* edit = window->editBox();
    edit->setFocus();
    edit->setText("123");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "12");
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), "2");

    QGuiApplication::clipboard()->setText(QStringLiteral("ab c?&x=1 号"));
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("2ab c?&x=1 号"));

    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QString());
}

TEST_F(MainWindowTest, EditFilterDropsWhatAnInputMethodCommitsExceptDigits) {
    QLineEdit* edit = window->editBox();
    edit->setFocus();
    edit->clear();
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("1号-２9"));
    QApplication::sendEvent(edit, &commit);
    EXPECT_EQ(edit->text(), "1-9");
}

// The painted colour, found as the most saturated pixel of the text.
QColor PaintedTextColor(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    QColor found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (!found.isValid() || pixel.hsvSaturation() > found.hsvSaturation()) {
                found = pixel;
            }
        }
    }
    return found;
}

TEST_F(MainWindowTest, HyperlinksShowTheirStateInColourAndOpenOnThePress) {
    const QUrl homepage(QString::fromUtf8(HomepageUrl().data(), HomepageUrl().size()));
    test::UrlRecorder recorder(homepage.scheme());

    for (const char* name : {"超级链接框1", "超级链接框2"}) {
        auto* link = static_cast<Hyperlink*>(Control(name));
        recorder.opened.clear();
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(link->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(link->textColor(), Hyperlink::kNormalColor);
        EXPECT_EQ(PaintedTextColor(link), Hyperlink::kNormalColor);

        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(link, &enter);
        EXPECT_EQ(PaintedTextColor(link), Hyperlink::kHoverColor);

        QTest::mousePress(link, Qt::LeftButton);
        EXPECT_EQ(recorder.opened, QList<QUrl>{homepage});  // before the release
        QTest::mouseRelease(link, Qt::LeftButton);
        EXPECT_EQ(recorder.opened.size(), 1);
        EXPECT_EQ(link->textColor(), Hyperlink::kHoverColor);

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        EXPECT_EQ(PaintedTextColor(link), Hyperlink::kVisitedColor);

        QTest::mousePress(link, Qt::RightButton);
        EXPECT_EQ(recorder.opened.size(), 1);
    }
}

TEST(Hyperlink, ShowsItsAddressWhenItHasNoText) {
    Hyperlink link(QString(), QStringLiteral("https://example.org/"));
    EXPECT_EQ(link.shownText(), QStringLiteral("https://example.org/"));
    Hyperlink named(QStringLiteral("名字"), QStringLiteral("https://example.org/"));
    EXPECT_EQ(named.shownText(), QStringLiteral("名字"));
}

// A whole row, both cells.
QRect RowRect(SongList* list, int row) {
    return list->visualRect(list->model()->index(row, 0))
        .united(list->visualRect(list->model()->index(row, 1)));
}

QColor RowColor(SongList* list, int row) {
    const QRect rect = RowRect(list, row);
    // Right of the short texts, inside the row.
    return list->viewport()->grab().toImage().pixelColor(rect.right() - 3, rect.center().y());
}

TEST_F(MainWindowTest, DrawsTheSelectionOnlyWhileTheListHasTheFocus) {
    AddRows(3);
    SongList* list = window->list();
    list->selectRow(1);
    const QColor base = list->palette().color(QPalette::Base);
    EXPECT_NE(RowColor(list, 1), base);
    EXPECT_EQ(RowColor(list, 0), base);

    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_EQ(RowColor(list, 1), base);
    EXPECT_EQ(list->selectedRow(), 1);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(RowColor(list, 1), base);
}

TEST_F(MainWindowTest, RightClickSelectsTheRowUnderThePointerThenSignals) {
    AddRows(3);
    SongList* list = window->list();
    QSignalSpy rightClicked(list, &SongList::rightClicked);
    QWidget* rows = list->viewport();

    auto rightClick = [&](QPoint at) {
        QTest::mousePress(rows, Qt::RightButton, {}, at);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, rows->mapToGlobal(at));
        QApplication::sendEvent(rows, &menuEvent);
        QTest::mouseRelease(rows, Qt::RightButton, {}, at);
    };
    const QRect row2 = RowRect(list, 2);
    rightClick(row2.center());
    EXPECT_EQ(rightClicked.count(), 1);
    EXPECT_EQ(list->selectedRow(), 2);

    // Right of the last column the row is still hit.
    const QRect row0 = RowRect(list, 0);
    rightClick(QPoint(rows->width() - 2, row0.center().y()));
    EXPECT_EQ(list->selectedRow(), 0);

    rightClick(QPoint(20, row2.bottom() + 30));  // below the last row
    EXPECT_EQ(rightClicked.count(), 3);
    EXPECT_EQ(list->selectedRow(), -1);

    // The header and the keyboard's menu key are not right clicks on the rows.
    QContextMenuEvent onHeader(QContextMenuEvent::Mouse, QPoint(10, 5),
                               list->header()->mapToGlobal(QPoint(10, 5)));
    QApplication::sendEvent(list->header(), &onHeader);
    QContextMenuEvent byKey(QContextMenuEvent::Keyboard, QPoint(10, 10),
                            rows->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(rows, &byKey);
    EXPECT_EQ(rightClicked.count(), 3);
}

// Whatever tip the list shows at a point of its rows, "" for none.
QString TipAt(SongList* list, QPoint at) {
    QToolTip::hideText();
    EXPECT_TRUE(WaitUntil([] { return !QToolTip::isVisible(); }));
    QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

TEST_F(MainWindowTest, ACellTheColumnCutsShowsItsWholeTextAsATip) {
    const QString longAddress = QStringLiteral("http://music.example/") + QString(300, u'a');
    QtWindowOperations operations(window.get());
    const std::int32_t row = operations.InsertRow();
    operations.SetCellText(row, 0, ToText(QStringLiteral("歌")));
    operations.SetCellText(row, 1, ToText(longAddress));
    window->ShowStoreChanges();
    SongList* list = window->list();
    const auto centre = [&](int column) {
        return list->visualRect(list->model()->index(row, column)).center();
    };
    EXPECT_EQ(TipAt(list, centre(1)), longAddress);
    EXPECT_EQ(TipAt(list, centre(0)), QString());
    // Once the user has made the column wide enough, nothing is cut.
    list->setColumnWidth(1, list->fontMetrics().horizontalAdvance(longAddress) + 40);
    EXPECT_EQ(TipAt(list, centre(1)), QString());
    QToolTip::hideText();
}

TEST_F(MainWindowTest, ClearingTheListKeepsTheColumnsAsTheUserLeftThem) {
    AddRows(3);
    window->list()->setColumnWidth(0, 200);
    QtWindowOperations(window.get()).DeleteAllRows();
    window->ShowStoreChanges();
    EXPECT_EQ(window->list()->model()->rowCount(), 0);
    EXPECT_EQ(window->list()->columnWidth(0), 200);
    EXPECT_EQ(window->list()->columnWidth(1), 320);
    EXPECT_FALSE(window->list()->header()->isHidden());
}

TEST_F(MainWindowTest, AScreenReaderReadsEveryCellOfTheList) {
    AddRows(3);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window->list());
    ASSERT_NE(list, nullptr);
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    // The rows are there once the list has laid them out, before it next paints.
    EXPECT_TRUE(WaitUntil([&] { return table->rowCount() == 3; }));
    EXPECT_EQ(table->columnCount(), 2);
    EXPECT_EQ(table->columnDescription(1), QStringLiteral("歌曲地址"));
    for (int row = 0; row < 3; ++row) {
        QAccessibleInterface* name = table->cellAt(row, 0);
        QAccessibleInterface* address = table->cellAt(row, 1);
        ASSERT_TRUE(name != nullptr && address != nullptr);
        EXPECT_EQ(name->text(QAccessible::Name), QStringLiteral("歌%1-歌手").arg(row));
        EXPECT_EQ(address->text(QAccessible::Name), QStringLiteral("http://x/%1").arg(row));
    }
}

}  // namespace
}  // namespace kavuro
