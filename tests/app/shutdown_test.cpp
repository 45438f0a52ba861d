// The test build of the program, run as a child process: how it really ends.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include "support/loopback_http_server.h"
#include "support/qt_wait.h"

namespace kavuro {
namespace {

using test::WaitUntil;

class ShutdownTest : public testing::Test {
protected:
    void SetUp() override { test::KeepProxiesAway(); }

    void Launch(const char* platform = "offscreen") {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", platform);
        environment.insert("KAVURO_TEST_ADDRESS_PREFIX",
                           QString::fromStdString(server.Address("/list?uin=")));
        program.setProcessEnvironment(environment);
        program.start(KAVURO_UNDER_TEST, {});
        ASSERT_TRUE(program.waitForStarted(test::kHangTimeoutMs));
    }

    void LaunchReady() {
        Launch();
        ASSERT_TRUE(WaitUntil([&] { return program.readAll().contains("ready"); }));
    }

    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(test::kHangTimeoutMs);
        }
    }

    void Send(const char* command) {
        program.write(command);
        program.write("\n");
    }

    test::LoopbackHttpServer server;
    QProcess program;
};

TEST_F(ShutdownTest, ClosingEndsWithExitCodeZero) {
    LaunchReady();
    Send("close");
    ASSERT_TRUE(program.waitForFinished(test::kHangTimeoutMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ShutdownTest, ClosingWhileAFetchWaitsOnAStalledServerEndsWithinASecond) {
    test::ScriptedAnswer stalled = test::Status(200, "never sent");
    stalled.stallAfter = 0;
    server.SetAnswer("/list", stalled);
    LaunchReady();
    Send("press");
    ASSERT_TRUE(WaitUntil([&] { return !server.Requests().empty(); }));

    QElapsedTimer sinceClose;
    sinceClose.start();
    Send("close");
    ASSERT_TRUE(program.waitForFinished(test::kHangTimeoutMs));
    EXPECT_LT(sinceClose.elapsed(), 1000);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ShutdownTest, AWindowThatCannotBeMadeEndsWithExitCodeMinusOne) {
    Launch("kavuro-no-such-platform");
    ASSERT_TRUE(program.waitForFinished(test::kHangTimeoutMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 255);
    EXPECT_TRUE(program.readAllStandardError().contains("kavuro: "));
    EXPECT_FALSE(program.readAllStandardOutput().contains("ready"));
}

}  // namespace
}  // namespace kavuro
