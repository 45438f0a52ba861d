#include "app/program.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "playlist/fetch_texts.h"
#include "support/case_name.h"
#include "support/loopback_http_server.h"
#include "support/playlist_answer.h"
#include "support/program_fixture.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "text/gbk.h"
#include "ui/qt_text.h"
#include "ui/song_list.h"
#include "ui/xp_look.h"

namespace kavuro {
namespace {

using test::LoopbackHttpServer;
using test::ScriptedAnswer;
using test::WaitUntil;

// The service's answer for these songs, given here in UTF-8.
std::string Playlist(const std::vector<test::Song>& songs) {
    std::vector<test::Song> gbk;
    for (const test::Song& song : songs) {
        gbk.push_back({Utf8ToGbk(song.singer), Utf8ToGbk(song.name), Utf8ToGbk(song.address)});
    }
    return test::PlaylistAnswer(gbk);
}

QString DoneText(const char* number, int total) {
    return ToQString(ConcatTexts(fetch_texts::kQQ, std::string_view(number),
                                 fetch_texts::kDoneTotal, IntegerToText(total)));
}

// The list's rows as "cell 0 | cell 1", in list order, as the window shows them.
std::vector<QString> Rows(MainWindow& window) {
    window.ShowStoreChanges();
    std::vector<QString> rows;
    const QAbstractItemModel& model = *window.list()->model();
    for (int row = 0; row < model.rowCount(); ++row) {
        rows.push_back(model.index(row, 0).data().toString() + " | " +
                       model.index(row, 1).data().toString());
    }
    return rows;
}

QString ShownStatus(MainWindow& window) {
    window.ShowStoreChanges();
    return window.statusPart()->text();
}

using ProgramTest = test::ProgramFixture;

// Sees whether the look was on when the main window was first shown.
class ShowWatcher final : public QObject {
public:
    bool shown = false;
    bool lookWhenShown = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<MainWindow*>(watched) && !shown) {
            shown = true;
            lookWhenShown = !qApp->styleSheet().isEmpty();
        }
        return false;
    }
};

TEST_F(ProgramTest, StartShowsTheWindowInTheLookWithTheFocusOnTheList) {
    ShowWatcher watcher;
    qApp->installEventFilter(&watcher);
    StartProgram();
    qApp->removeEventFilter(&watcher);
    EXPECT_TRUE(watcher.shown);
    EXPECT_TRUE(watcher.lookWhenShown);
    EXPECT_TRUE(program->gate().IsOpen());
    EXPECT_EQ(QApplication::focusWidget(), Window().list());
    EXPECT_EQ(Window().editBox()->text(), "1234567890");
    EXPECT_EQ(Program::RunningWorkers(), 0);
}

TEST_F(ProgramTest, APressFetchesThePlaylistIntoTheList) {
    server.SetAnswer(std::string(test::kPlaylistPath),
                     test::Status(200, Playlist({{"江南民歌", "茉莉花", "http://m/1.mp3"},
                                                 {"李叔同", "送别", "http://m/2.mp3"}})));
    StartProgram();
    Press("12345");
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(Rows(Window()),
              (std::vector<QString>{QStringLiteral("茉莉花-江南民歌 | http://m/1.mp3"),
                                    QStringLiteral("送别-李叔同 | http://m/2.mp3")}));
    EXPECT_EQ(ShownStatus(Window()), DoneText("12345", 2));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].rfind(
                  std::string("GET ") + std::string(test::kPlaylistPath) + "?uin=12345 ", 0),
              0u);
    EXPECT_TRUE(Window().button()->isEnabled());
}

TEST_F(ProgramTest, ASecondPressCancelsTheFirstFetchAndTheListNeverMixesRows) {
    // Left alone, the first fetch would end after a second's stall with two songs of its
    // own, after the second fetch had written its rows.
    const std::string first =
        Playlist({{"A", "first-1", "http://a/1"}, {"A", "first-2", "http://a/2"}});
    ScriptedAnswer stalling = test::Status(200, first + std::string(100, ' '));
    stalling.stallAfter = stalling.HeadSize() + first.size();
    server.SetAnswer(std::string(test::kPlaylistPath) + "?uin=111", stalling);
    server.SetAnswer(std::string(test::kPlaylistPath) + "?uin=222",
                     test::Status(200, Playlist({{"B", "second-1", "http://b/1"}})));
    ProgramSettings settings;
    settings.limits.stallTime = std::chrono::milliseconds(1000);
    StartProgram(settings);

    Press("111");
    ASSERT_TRUE(WaitForRequests(1));
    Press("222");
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(Rows(Window()), std::vector<QString>{"second-1-B | http://b/1"});
    EXPECT_EQ(ShownStatus(Window()), DoneText("222", 1));
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(ProgramTest, ClosingTheWindowStopsTheFetchAndTheEndStepEndsWithZero) {
    ScriptedAnswer stalled = test::Status(200, Playlist({{"A", "a", "http://a"}}));
    stalled.stallAfter = 0;
    server.SetAnswer(std::string(test::kPlaylistPath), stalled);
    StartProgram();
    Press("1");
    ASSERT_TRUE(WaitForRequests(1));

    Window().close();
    ASSERT_TRUE(WaitUntil([&] { return program->window() == nullptr; }));
    // The default limits would keep a fetch that was not stopped for 30 seconds.
    EXPECT_TRUE(WaitForWorkers());
    program->EndStep();
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_FALSE(program->gate().IsOpen());
}

TEST_F(ProgramTest, TheExitHookRunsOnceAndSparesAMatcherAFetchHolds) {
    StartProgram();
    RegexMatcher& matcher = program->matcher().matcher;
    ASSERT_TRUE(matcher.Run("a", "a"));
    program->matcher().inUse.lock();
    program->EndStep();  // a fetch holds it: left to the process's end
    program->matcher().inUse.unlock();
    EXPECT_EQ(matcher.PatternText(), "a");

    ProgramTest::TearDown();
    StartProgram();
    RegexMatcher& fresh = program->matcher().matcher;
    ASSERT_TRUE(fresh.Run("a", "a"));
    program->EndStep();
    EXPECT_EQ(fresh.PatternText(), "");  // destroyed
    ASSERT_TRUE(fresh.Run("a", "a"));
    program->EndStep();
    EXPECT_EQ(fresh.PatternText(), "a");  // not a second time
    EXPECT_EQ(exitCodes, (std::vector<int>{0, 0, 0}));
}

TEST_F(ProgramTest, NoHandlerRunsAfterTheEndStep) {
    StartProgram();
    program->EndStep();
    Window().button()->click();
    EXPECT_EQ(Program::RunningWorkers(), 0);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Window().statusPart()->text(), "");
}

TEST_F(ProgramTest, TheFatalStopShowsAnErrorBoxDropsTheExitHookAndEndsWithMinusOne) {
    StartProgram();
    ASSERT_TRUE(program->matcher().matcher.Run("a", "a"));
    test::SeenBox seen;
    auto boxAct = test::AnswerMessageBox(seen);
    program->FatalStop(QStringLiteral("出错了"));
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.parent, nullptr);
    EXPECT_EQ(seen.text, QStringLiteral("出错了"));
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    EXPECT_EQ(exitCodes, std::vector<int>{-1});

    EXPECT_FALSE(program->gate().IsOpen());
    Window().button()->click();
    EXPECT_EQ(Program::RunningWorkers(), 0);
    program->EndStep();  // only to see that the hook is gone
    EXPECT_EQ(program->matcher().matcher.PatternText(), "a");
}

TEST_F(ProgramTest, RunningOutOfMemoryOnAWorkerStopsOnTheUiThread) {
    ProgramSettings settings;
    settings.fetch = [](WindowOperations& window, SharedMatcher&, std::string_view, std::stop_token,
                        const PageReadLimits&) -> FetchOutcome {
        window.SetStatusText(0, "started");
        throw std::bad_alloc();
    };
    StartProgram(settings);
    test::SeenBox seen;
    auto boxAct = test::AnswerMessageBox(seen);
    Window().button()->click();
    ASSERT_TRUE(WaitUntil([&] { return !exitCodes.empty(); }));
    EXPECT_TRUE(seen.onUiThread);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, Program::kOutOfMemory);
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
    EXPECT_EQ(ShownStatus(Window()), "started");
}

TEST_F(ProgramTest, WithoutTheGbkCodePageStartUpIsTheFatalStop) {
    ProgramSettings settings;
    settings.codePageAvailable = [] { return false; };
    settings.endProcess = [this](int exitCode) { exitCodes.push_back(exitCode); };
    program = std::make_unique<Program>(std::move(settings));
    test::SeenBox seen;
    auto boxAct = test::AnswerMessageBox(seen);
    program->Start();
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, Program::kNoCodePage);
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
    EXPECT_EQ(program->window(), nullptr);
}

// A fetch that holds its worker until the test lets it fail.
std::atomic<bool> heldFetchStarted{false};
std::atomic<bool> heldFetchMayFail{false};

FetchOutcome HeldFetchThatFails(WindowOperations&, SharedMatcher&, std::string_view,
                                std::stop_token, const PageReadLimits&) {
    heldFetchStarted = true;
    heldFetchStarted.notify_all();
    heldFetchMayFail.wait(false);
    throw std::runtime_error("failed after the program had gone");
}

TEST_F(ProgramTest, AWorkerThatFailsAfterTheProgramHasGoneReachesNothing) {
    heldFetchStarted = false;
    heldFetchMayFail = false;
    ProgramSettings settings;
    settings.fetch = HeldFetchThatFails;
    StartProgram(settings);
    Window().button()->click();
    heldFetchStarted.wait(false);
    Window().close();
    program.reset();

    heldFetchMayFail = true;
    heldFetchMayFail.notify_all();
    ASSERT_TRUE(WaitForWorkers());
    QCoreApplication::processEvents();
    EXPECT_TRUE(exitCodes.empty());
}

// Whatever escapes start-up, a handler or a worker ends the same way: the error box and
// exit code -1, recorded here rather than ending the test.
struct EscapeCase {
    const char* name;
    std::function<void()> work;
    bool returns;
    QString message;  // empty when no stop is expected
};

class EscapingExceptionTest : public test::ProgramFixture,
                              public testing::WithParamInterface<EscapeCase> {};

TEST_P(EscapingExceptionTest, BecomesTheFatalStop) {
    StartProgram();
    test::SeenBox seen;
    auto boxAct = test::AnswerMessageBox(seen);
    EXPECT_EQ(RunGuarded(program.get(), GetParam().work), GetParam().returns);
    if (GetParam().message.isEmpty()) {
        EXPECT_FALSE(seen.seen);
        EXPECT_TRUE(exitCodes.empty());
        return;
    }
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, GetParam().message);
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
}

INSTANTIATE_TEST_SUITE_P(
    Escapes, EscapingExceptionTest,
    testing::Values(EscapeCase{"Nothing", [] {}, true, {}},
                    EscapeCase{"OutOfMemory", [] { throw std::bad_alloc(); }, false,
                               Program::kOutOfMemory},
                    EscapeCase{"StandardException", [] { throw std::runtime_error("unexpected"); },
                               false, Program::kUnexpected},
                    EscapeCase{"AnythingElse", [] { throw 42; }, false, Program::kUnexpected}),
    test::CaseName());

}  // namespace
}  // namespace kavuro
