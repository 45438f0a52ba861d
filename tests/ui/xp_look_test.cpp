#include "ui/xp_look.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "support/case_name.h"

namespace kavuro {
namespace {

// The colour in the middle of the widget's left edge: where the look draws its frame.
QColor LeftEdge(QWidget& widget) {
    widget.ensurePolished();
    return widget.grab().toImage().pixelColor(0, widget.height() / 2);
}

class XpLookTest : public testing::Test {
protected:
    void TearDown() override { ApplyXpLook(0); }
};

struct SchemeCase {
    std::string name;
    int scheme;
    QColor frame;
    friend void PrintTo(const SchemeCase& c, std::ostream* os) { *os << c.name; }
};

class XpLookSchemeTest : public XpLookTest, public testing::WithParamInterface<SchemeCase> {};

TEST_P(XpLookSchemeTest, FramesTheThemedKindsInTheSchemesColour) {
    ASSERT_TRUE(ApplyXpLook(GetParam().scheme));
    QPushButton button("OK");
    button.resize(72, 25);
    QLineEdit edit;
    edit.resize(104, 24);
    EXPECT_EQ(LeftEdge(button), GetParam().frame);
    EXPECT_EQ(LeftEdge(edit), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(Schemes, XpLookSchemeTest,
                         testing::Values(SchemeCase{"Blue", 1, QColor(123, 158, 189)},
                                         SchemeCase{"Olive", 2, QColor(0x8a, 0x9a, 0x66)},
                                         SchemeCase{"Silver", 3, QColor(0x8e, 0x8f, 0xa2)}),
                         test::CaseName());

TEST_F(XpLookTest, OtherSchemesOnlySwitchTheLookOff) {
    QPushButton button("OK");
    button.resize(72, 25);
    const QColor own = LeftEdge(button);
    for (int scheme : {0, 4, -1, 1'000'000}) {
        ASSERT_TRUE(ApplyXpLook(1));
        EXPECT_FALSE(ApplyXpLook(scheme)) << scheme;
        EXPECT_TRUE(qApp->styleSheet().isEmpty());
        EXPECT_EQ(LeftEdge(button), own);
    }
}

TEST_F(XpLookTest, DrawsFocusedHotAndDisabledApart) {
    ASSERT_TRUE(ApplyXpLook(1));
    QWidget window;
    auto* button = new QPushButton("OK", &window);
    button->setGeometry(0, 0, 72, 25);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    button->clearFocus();
    const QColor normal = LeftEdge(*button);
    button->setFocus();
    const QColor focused = LeftEdge(*button);
    QTest::mouseMove(button, QPoint(30, 12));
    const QColor hot = LeftEdge(*button);
    button->setEnabled(false);
    const QColor disabled = LeftEdge(*button);

    EXPECT_EQ(normal, QColor(123, 158, 189));
    EXPECT_NE(focused, normal);
    EXPECT_NE(hot, normal);
    EXPECT_NE(hot, focused);
    EXPECT_NE(disabled, normal);
    EXPECT_NE(disabled, hot);
}

TEST_F(XpLookTest, LeavesTheListAndTheLabelTheirOwnDrawing) {
    QTreeWidget list;
    list.resize(200, 100);
    QLabel label("QQ:");
    label.resize(30, 31);
    const QColor listOwn = LeftEdge(list);
    const QImage labelOwn = label.grab().toImage();
    ASSERT_TRUE(ApplyXpLook(1));
    EXPECT_EQ(LeftEdge(list), listOwn);
    EXPECT_EQ(label.grab().toImage(), labelOwn);
}

TEST_F(XpLookTest, ReachesTheButtonsOfMessageBoxesMadeLater) {
    ASSERT_TRUE(ApplyXpLook(1));
    QMessageBox box(QMessageBox::NoIcon, "caption", "text", QMessageBox::Ok);
    box.show();
    QAbstractButton* ok = box.button(QMessageBox::Ok);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(LeftEdge(*ok), QColor(123, 158, 189));
}

}  // namespace
}  // namespace kavuro
