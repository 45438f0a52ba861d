// ProgramFixture: the whole program, started in the test process against a loopback
// playlist service, with the process's end recorded instead of carried out.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/program.h"
#include "ui/xp_look.h"
#include "support/loopback_http_server.h"
#include "support/qt_wait.h"

namespace kavuro::test {

inline constexpr std::string_view kPlaylistPath = "/fcg-bin/cgi_playlist_xml.fcg";

class ProgramFixture : public testing::Test {
protected:
    void SetUp() override { KeepProxiesAway(); }

    void TearDown() override {
        if (program != nullptr && program->window() != nullptr) {
            program->window()->close();
        }
        EXPECT_TRUE(WaitForWorkers());
        program.reset();
        ApplyXpLook(0);
    }

    void StartProgram(ProgramSettings settings = {}) {
        settings.addressPrefix = server.Address(std::string(kPlaylistPath) + "?uin=");
        settings.endProcess = [this](int exitCode) { exitCodes.push_back(exitCode); };
        program = std::make_unique<Program>(std::move(settings));
        program->Start();
        ASSERT_NE(program->window(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(program->window()));
    }

    MainWindow& Window() const { return *program->window(); }

    void Press(const char* number) {
        Window().editBox()->setText(QString::fromLatin1(number));
        Window().button()->click();
    }

    bool WaitForRequests(std::size_t count) {
        return WaitUntil([&] { return server.Requests().size() >= count; });
    }

    static bool WaitForWorkers() {
        return WaitUntil([] { return Program::RunningWorkers() == 0; });
    }

    LoopbackHttpServer server;
    std::vector<int> exitCodes;
    std::unique_ptr<Program> program;
};

// A message box as it was when it opened.
struct SeenBox {
    bool seen = false;
    bool onUiThread = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* parent = nullptr;
    QString caption;
    QString text;
    int buttons = 0;
    Qt::WindowModality modality = Qt::NonModal;
};

// When the next modal box opens: notes it in seen, runs whileOpen, and presses its OK.
[[nodiscard]] inline PendingAct AnswerMessageBox(SeenBox& seen,
                                                 std::function<void()> whileOpen = {}) {
    return ActOnModal([&seen, whileOpen](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        seen = {true,
                QThread::currentThread() == qApp->thread(),
                box->icon(),
                box->parentWidget(),
                box->windowTitle(),
                box->text(),
                static_cast<int>(box->buttons().size()),
                box->windowModality()};
        if (whileOpen) {
            whileOpen();
        }
        box->button(QMessageBox::Ok)->click();
    });
}

}  // namespace kavuro::test
