// main() for widget tests: one QApplication for the whole program, on the offscreen
// platform unless the caller chose another (CTest sets it, a developer may not have).
// Every test must leave no window behind: a window a test forgot would carry its state
// into the next one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <QWidget>

namespace {

class NoWindowLeftOver final : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList leftOver;
        for (const QWidget* widget : QApplication::topLevelWidgets()) {
            leftOver << QString::fromLatin1(widget->metaObject()->className()) + " " +
                            widget->objectName();
        }
        EXPECT_TRUE(leftOver.isEmpty())
            << "windows left over: " << leftOver.join(QStringLiteral(", ")).toStdString();
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // Tests close windows all the time; that must not end the nested loops they wait in.
    QApplication::setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new NoWindowLeftOver);
    return RUN_ALL_TESTS();
}
