// What assistive technology finds in the window: every control named, the hyperlinks as
// links whose press action opens their address.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <memory>
#include <string>

#include "support/case_name.h"
#include "support/qt_print.h"
#include "support/url_recorder.h"
#include "ui/hyperlink.h"
#include "ui/main_window.h"
#include "ui/song_list.h"

namespace kavuro {
namespace {

QAccessibleInterface* Accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

class AccessibilityTest : public testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    Hyperlink* Link(const char* name) const {
        return window->findChild<Hyperlink*>(QString::fromUtf8(name));
    }

    std::unique_ptr<MainWindow> window;
};

struct NameCase {
    std::string name;
    QWidget* (*control)(const MainWindow&);
    QAccessible::Role role;  // NoRole: whichever the list's kind of view gives
    QString accessibleName;
    bool described;
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }
};

class ControlNameTest : public AccessibilityTest, public testing::WithParamInterface<NameCase> {};

TEST_P(ControlNameTest, IsNamedWithItsRole) {
    QAccessibleInterface* accessible = Accessible(GetParam().control(*window));
    ASSERT_NE(accessible, nullptr);
    if (GetParam().role != QAccessible::NoRole) {
        EXPECT_EQ(accessible->role(), GetParam().role);
    }
    EXPECT_EQ(accessible->text(QAccessible::Name), GetParam().accessibleName);
    EXPECT_EQ(!accessible->text(QAccessible::Description).isEmpty(), GetParam().described);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, ControlNameTest,
    testing::Values(NameCase{"EditBox", [](const MainWindow& w) -> QWidget* { return w.editBox(); },
                             QAccessible::EditableText, QStringLiteral("QQ 号码"), true},
                    NameCase{"Button", [](const MainWindow& w) -> QWidget* { return w.button(); },
                             QAccessible::Button, QStringLiteral("获取"), true},
                    NameCase{"List", [](const MainWindow& w) -> QWidget* { return w.list(); },
                             QAccessible::NoRole, QStringLiteral("歌曲列表"), true},
                    NameCase{"StatusBar",
                             [](const MainWindow& w) -> QWidget* {
                                 return w.statusPart()->parentWidget();
                             },
                             QAccessible::StatusBar, QStringLiteral("状态栏"), false},
                    NameCase{"Menu", [](const MainWindow& w) -> QWidget* { return w.popupMenu(); },
                             QAccessible::PopupMenu, QStringLiteral("歌曲列表菜单"), false}),
    test::CaseName());

TEST_F(AccessibilityTest, TheQqLabelNamesTheEditBox) {
    QAccessibleInterface* box = Accessible(window->editBox());
    const auto labels = box->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.first().first->text(QAccessible::Name), QStringLiteral("QQ:"));
}

// The part is named by what it shows, so that each new status is read out.
TEST_F(AccessibilityTest, TheStatusPartIsNamedByItsText) {
    window->statusPart()->setText(QStringLiteral("QQ:42 共获取歌曲 3 首"));
    QAccessibleInterface* part = Accessible(window->statusPart());
    EXPECT_EQ(part->text(QAccessible::Name), QStringLiteral("QQ:42 共获取歌曲 3 首"));
    EXPECT_FALSE(part->text(QAccessible::Description).isEmpty());
}

TEST_F(AccessibilityTest, HyperlinksAreLinksNamedByTheirTextThatOpenOnThePressAction) {
    const QUrl homepage(QString::fromUtf8(HomepageUrl().data(), HomepageUrl().size()));
    test::UrlRecorder recorder(homepage.scheme());
    for (const char* name : {"超级链接框1", "超级链接框2"}) {
        Hyperlink* link = Link(name);
        ASSERT_NE(link, nullptr);
        recorder.opened.clear();
        QAccessibleInterface* accessible = Accessible(link);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), QAccessible::Link);
        EXPECT_EQ(accessible->text(QAccessible::Name), link->shownText());
        EXPECT_EQ(accessible->text(QAccessible::Value), homepage.toString());
        EXPECT_TRUE(accessible->text(QAccessible::Description).contains(homepage.toString()));
        EXPECT_TRUE(accessible->state().linked);
        EXPECT_FALSE(accessible->state().traversed);
        EXPECT_FALSE(accessible->state().focusable);

        QAccessibleActionInterface* actions = accessible->actionInterface();
        ASSERT_NE(actions, nullptr);
        EXPECT_EQ(actions->actionNames(), QStringList(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_EQ(recorder.opened, QList<QUrl>{homepage});
        EXPECT_TRUE(accessible->state().traversed);
        EXPECT_EQ(link->textColor(), Hyperlink::kVisitedColor);
    }
}

TEST_F(AccessibilityTest, AccessibleChildrenOfTheWindowAreAllNamed) {
    QAccessibleInterface* client = Accessible(window->centralWidget());
    ASSERT_NE(client, nullptr);
    for (int i = 0; i < client->childCount(); ++i) {
        QAccessibleInterface* child = client->child(i);
        EXPECT_FALSE(child->text(QAccessible::Name).isEmpty())
            << child->object()->objectName().toStdString();
    }
}

TEST(HyperlinkAccessibility, ALinkWithoutTextIsNamedByItsAddress) {
    Hyperlink link(QString(), QStringLiteral("https://example.org/"));
    EXPECT_EQ(Accessible(&link)->text(QAccessible::Name), QStringLiteral("https://example.org/"));
}

}  // namespace
}  // namespace kavuro
