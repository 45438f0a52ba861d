#include "ui/list_menu_keys.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "support/qt_print.h"

namespace kavuro {
namespace {

class ListMenuKeysTest : public testing::Test {
protected:
    void SetUp() override {
        list.setColumnCount(2);
        for (int row = 0; row < 200; ++row) {
            list.addTopLevelItem(new QTreeWidgetItem({QStringLiteral("歌%1").arg(row), "x"}));
        }
        list.resize(300, 200);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        keys = ListMenuKeys::InstallOn(&list);
    }

    // Selects the row without bringing it into view, as a fetch's rows arriving below
    // the selection would leave it.
    void SelectOutOfView(int row) {
        list.selectionModel()->select(
            list.model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        list.scrollToTop();
    }

    QTreeWidget list;
    ListMenuKeys* keys = nullptr;
};

TEST_F(ListMenuKeysTest, ARowOutOfViewIsBroughtIntoViewAndThePopupGoesBelowIt) {
    SelectOutOfView(150);
    QSignalSpy requested(keys, &ListMenuKeys::keyboardMenuRequested);
    QTest::keyClick(&list, Qt::Key_Menu);
    ASSERT_EQ(requested.count(), 1);
    const QRect row = list.visualRect(list.model()->index(150, 0));
    EXPECT_TRUE(list.viewport()->rect().contains(row));
    EXPECT_EQ(requested.first().first().toPoint(),
              list.viewport()->mapToGlobal(QPoint(row.left(), row.bottom() + 1)));
}

TEST_F(ListMenuKeysTest, OnlyTheMenuKeyAndShiftF10AskForThePopup) {
    QSignalSpy requested(keys, &ListMenuKeys::keyboardMenuRequested);
    QTest::keyClick(&list, Qt::Key_F10);
    QTest::keyClick(&list, Qt::Key_F10, Qt::AltModifier);
    QTest::keyClick(&list, Qt::Key_Menu, Qt::ControlModifier);
    EXPECT_EQ(requested.count(), 0);
    QTest::keyClick(&list, Qt::Key_Menu);
    QTest::keyClick(&list, Qt::Key_Menu, Qt::ShiftModifier);
    QTest::keyClick(&list, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(requested.count(), 3);
    for (const QList<QVariant>& request : requested) {
        EXPECT_EQ(request.first().toPoint(), list.mapToGlobal(QPoint(0, 0)));
    }
}

}  // namespace
}  // namespace kavuro
