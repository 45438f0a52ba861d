// Program: Kavuro's life cycle around its one window. Start-up builds the one matcher and
// then the window; the handlers bound to the window run only while the event gate is
// open; each press of the button starts one fetch on a worker of its own; the program
// ends through the end step (exit code 0) or the fatal stop (exit code -1).
//
// A fetch reaches the window through window operations of its own. A new press, the
// window closing, the end step and the fatal stop revoke them on the UI thread and ask
// the fetch to stop, so a cancelled fetch changes nothing after that moment, and the
// program never waits for a worker.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "playlist/playlist_address.h"
#include "playlist/playlist_fetch.h"
#include "text/gbk.h"
#include "ui/main_window.h"
#include "ui/qt_command_platform.h"
#include "ui/qt_window_operations.h"

namespace kavuro {

// What a worker runs for one press.
using FetchRoutine = FetchOutcome (*)(WindowOperations& window, SharedMatcher& matcher,
                                      std::string_view addressPrefix, std::stop_token stop,
                                      const PageReadLimits& limits);

// Ends the process now with the exit code, without running static destructors or
// waiting for any thread: a worker may still be running.
[[noreturn]] void EndProcessAtOnce(int exitCode);

struct ProgramSettings {
    std::string addressPrefix = PlaylistAddressPrefix();
    PageReadLimits limits;
    FetchRoutine fetch = PlaylistFetch;
    // Whether the texts can be converted at all; tests pretend they cannot.
    bool (*codePageAvailable)() = GbkCodePageAvailable;
    // How the end step and the fatal stop end the process; tests record the code.
    std::function<void(int exitCode)> endProcess = EndProcessAtOnce;
};

// Holds back every handler while the window is being built, and for good once the
// program ends. UI thread only.
class EventGate {
public:
    void Close() { ++closed_; }
    void Open() { --closed_; }
    void CloseForGood() { closedForGood_ = true; }
    bool IsOpen() const { return closed_ == 0 && !closedForGood_; }

private:
    int closed_ = 0;
    bool closedForGood_ = false;
};

// What a worker may still reach of the program once it has been handed a job: the program
// detaches itself when it is destroyed, so a worker that outlives it reports into nothing.
class FatalStopLine;

class Program final : public QObject {
    Q_OBJECT
public:
    explicit Program(ProgramSettings settings = {});
    ~Program() override;

    // Start-up on the UI thread: the fatal stop when GBK cannot be converted; else the matcher, the
    // exit hook, then the window, built behind the gate, given the XP-style look by its created
    // handler, and shown.
    void Start();
    // The main window while it exists.
    MainWindow* window() const { return window_; }
    SharedMatcher& matcher() const { return *matcher_; }
    const EventGate& gate() const { return gate_; }

    // Right after the event loop: no handler runs any more, every fetch is revoked and
    // asked to stop, the exit hook runs once, and the process ends with code 0.
    void EndStep();
    // The end on a failure the program cannot go on from: no handler runs any more, the
    // message is shown in an error box, the exit hook is dropped unrun, and the process
    // ends with code -1. Callable from any thread; a worker hands the whole stop to the
    // UI thread, the only one that can show a box, and goes on to end.
    void FatalStop(const QString& message);

    // Workers that have not yet ended, for tests to wait on before tearing down.
    static int RunningWorkers();

    static inline const QString kOutOfMemory = QStringLiteral("内存不足，Kavuro 无法继续运行。");
    static inline const QString kNoCodePage =
        QStringLiteral("系统的 iconv 不支持 GBK 编码（CP936），Kavuro 无法显示中文，无法运行。");
    static inline const QString kUnexpected = QStringLiteral("内部错误，Kavuro 无法继续运行。");

private:
    struct Fetch {
        std::shared_ptr<QtWindowOperations> operations;
        std::stop_source stop;
    };

    void LoadMainWindow();
    template <typename Handler>
    auto Guarded(Handler handler);

    // Handlers.
    void OnCreated();
    void OnButtonClicked();
    void OnListRightClicked();
    void OnListMenuKeyPressed(QPoint popupPosition);
    void OnCopyNameAndSingerChosen();
    void OnCopyAddressChosen();
    void OnClearAllChosen();
    void OnCopyAllChosen();
    void OnSaveListChosen();
    void OnEditBoxFocusGained();

    void StopFetches();

    ProgramSettings settings_;
    EventGate gate_;
    std::shared_ptr<SharedMatcher> matcher_;
    std::shared_ptr<FatalStopLine> fatalStopLine_;
    std::function<void()> exitHook_;
    QPointer<MainWindow> window_;
    std::unique_ptr<QtWindowOperations> commandOperations_;  // the UI thread's own
    QtCommandPlatform platform_;
    Fetch current_;
    bool stopping_ = false;
};

// Runs work; any exception escaping it becomes the fatal stop of program (kOutOfMemory for
// an allocation failure, a general message for anything else), or, with no program, the
// end with exit code -1. True when work returned normally.
bool RunGuarded(Program* program, const std::function<void()>& work);

// The whole program: start-up, the event loop, the end step. Reads no command line.
// started, when given, runs on the UI thread once the window is shown.
int RunProgram(ProgramSettings settings, const std::function<void(Program&)>& started = {});

}  // namespace kavuro
