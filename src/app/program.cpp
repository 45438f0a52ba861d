#include "app/program.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "commands/list_commands.h"
#include "ui/list_menu_keys.h"
#include "ui/song_list.h"
#include "ui/xp_look.h"

namespace kavuro {

// The one way from a worker back to the program. The program's destructor cuts the line
// under the same lock a report takes, so a report either reaches a live program or none.
class FatalStopLine {
public:
    explicit FatalStopLine(Program* program) : program_(program) {}

    void Report(const QString& message) {
        const std::lock_guard lock(mutex_);
        if (program_ != nullptr) {
            program_->FatalStop(message);  // from a worker: only posts to the UI thread
        }
    }
    void Cut() {
        const std::lock_guard lock(mutex_);
        program_ = nullptr;
    }

private:
    std::mutex mutex_;
    Program* program_;
};

namespace {

std::atomic<int> runningWorkers{0};

// Everything one worker needs, handed over whole so that the worker owns it.
struct WorkerJob {
    FetchRoutine fetch;
    std::shared_ptr<QtWindowOperations> operations;
    std::shared_ptr<SharedMatcher> matcher;
    std::shared_ptr<FatalStopLine> fatalStopLine;
    std::string addressPrefix;
    std::stop_token stop;
    PageReadLimits limits;
};

void RunWorker(WorkerJob job) {
    try {
        job.fetch(*job.operations, *job.matcher, job.addressPrefix, job.stop, job.limits);
    } catch (const std::bad_alloc&) {
        job.fatalStopLine->Report(Program::kOutOfMemory);
    } catch (...) {
        job.fatalStopLine->Report(Program::kUnexpected);
    }
}

// Turns an exception escaping an event handler into the fatal stop, where Qt lets one be
// caught.
class GuardedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    Program* program = nullptr;

    bool notify(QObject* receiver, QEvent* event) override {
        bool handled = false;
        RunGuarded(program, [&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }
};

// The layout is made for a 12-pixel font, and the texts are Chinese: a Chinese UI font of
// that size where there is one, so that Latin and Chinese letters match and "QQ:" fits
// beside the edit box.
QFont GuiFont() {
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Microsoft YaHei"),
                      QStringLiteral("Noto Sans CJK SC"), font.family()});
    font.setPixelSize(12);
    return font;
}

QtMessageHandler qtDefaultHandler = nullptr;

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        qtDefaultHandler(type, context, message);
        return;
    }
    std::fprintf(stderr, "kavuro: %s\n", message.toLocal8Bit().constData());
    EndProcessAtOnce(-1);
}

}  // namespace

void EndProcessAtOnce(int exitCode) {
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

Program::Program(ProgramSettings settings)
    : settings_(std::move(settings)), fatalStopLine_(std::make_shared<FatalStopLine>(this)) {}

Program::~Program() {
    fatalStopLine_->Cut();
    StopFetches();
    delete window_;
}

int Program::RunningWorkers() {
    return runningWorkers;
}

void Program::Start() {
    if (!settings_.codePageAvailable()) {
        FatalStop(kNoCodePage);
        return;
    }
    matcher_ = std::make_shared<SharedMatcher>();
    // A fetch that still holds the matcher keeps it; the process's end takes it then.
    exitHook_ = [matcher = matcher_] {
        std::unique_lock lock(matcher->inUse, std::try_to_lock);
        if (lock.owns_lock()) {
            matcher->matcher.Destroy();
        }
    };
    LoadMainWindow();
}

template <typename Handler>
auto Program::Guarded(Handler handler) {
    return [this, handler] {
        if (gate_.IsOpen()) {
            (this->*handler)();
        }
    };
}

void Program::LoadMainWindow() {
    gate_.Close();
    auto* window = new MainWindow();
    window->setAttribute(Qt::WA_DeleteOnClose);
    window_ = window;
    commandOperations_ = std::make_unique<QtWindowOperations>(window);
    connect(window->button(), &QPushButton::clicked, this, Guarded(&Program::OnButtonClicked));
    connect(window->list(), &SongList::rightClicked, this, Guarded(&Program::OnListRightClicked));
    connect(ListMenuKeys::InstallOn(window->list()), &ListMenuKeys::keyboardMenuRequested, this,
            [this](QPoint at) {
                if (gate_.IsOpen()) {
                    OnListMenuKeyPressed(at);
                }
            });
    // Queued: an item's command runs once the pop-up has closed and its handler returned.
    connect(window->menuAction(MenuItem::CopyNameAndSinger), &QAction::triggered, this,
            Guarded(&Program::OnCopyNameAndSingerChosen), Qt::QueuedConnection);
    connect(window->menuAction(MenuItem::CopyAddress), &QAction::triggered, this,
            Guarded(&Program::OnCopyAddressChosen), Qt::QueuedConnection);
    connect(window->menuAction(MenuItem::ClearAll), &QAction::triggered, this,
            Guarded(&Program::OnClearAllChosen), Qt::QueuedConnection);
    connect(window->menuAction(MenuItem::CopyAll), &QAction::triggered, this,
            Guarded(&Program::OnCopyAllChosen), Qt::QueuedConnection);
    connect(window->menuAction(MenuItem::SaveList), &QAction::triggered, this,
            Guarded(&Program::OnSaveListChosen), Qt::QueuedConnection);
    connect(window->saveShortcut(), &QShortcut::activated, this,
            Guarded(&Program::OnSaveListChosen));
    connect(window, &MainWindow::editBoxFocusGained, this, Guarded(&Program::OnEditBoxFocusGained));
    // Not a handler: whatever else happens, no fetch may touch a window that has gone.
    connect(window, &QObject::destroyed, this, &Program::StopFetches);
    gate_.Open();

    // The created handler: the window exists but is not yet visible.
    if (gate_.IsOpen()) {
        OnCreated();
    }
    if (window_ != nullptr) {
        window_->show();
        window_->activateWindow();
    }
}

void Program::OnCreated() {
    ApplyXpLook(1);
}

void Program::OnButtonClicked() {
    auto operations = std::make_shared<QtWindowOperations>(window_);
    std::stop_source stop;
    // A window operation takes effect without the UI thread: the new fetch waits until the
    // old one is cut off, so that the two never change the window by turns.
    std::promise<void> oldFetchStopped;
    WorkerJob job{settings_.fetch,         operations,       matcher_,        fatalStopLine_,
                  settings_.addressPrefix, stop.get_token(), settings_.limits};
    ++runningWorkers;
    try {
        std::thread([job = std::move(job), go = oldFetchStopped.get_future()]() mutable {
            go.wait();
            RunWorker(std::move(job));  // the job is gone before the count drops
            --runningWorkers;
        }).detach();
    } catch (const std::system_error&) {
        --runningWorkers;
        return;  // no thread, no fetch: the press has no effect
    }
    StopFetches();
    current_ = Fetch{std::move(operations), std::move(stop)};
    oldFetchStopped.set_value();
}

void Program::OnListRightClicked() {
    OnListRightClick(*commandOperations_);
}

// The right click's command, with the pop-up at the place the keys chose.
void Program::OnListMenuKeyPressed(QPoint popupPosition) {
    window_->SetNextPopupPosition(popupPosition);
    OnListRightClick(*commandOperations_);
}

void Program::OnCopyNameAndSingerChosen() {
    CopyCellOfSelectedRow(*commandOperations_, platform_, 0);
}

void Program::OnCopyAddressChosen() {
    CopyCellOfSelectedRow(*commandOperations_, platform_, 1);
}

void Program::OnClearAllChosen() {
    ClearAllRows(*commandOperations_);
}

void Program::OnCopyAllChosen() {
    CopyAllRows(*commandOperations_, platform_);
}

void Program::OnSaveListChosen() {
    SaveList(*commandOperations_, platform_);
}

void Program::OnEditBoxFocusGained() {
    kavuro::OnEditBoxFocusGained(*commandOperations_);
}

void Program::StopFetches() {
    if (current_.operations != nullptr) {
        current_.operations->Revoke();
        current_.stop.request_stop();
    }
}

void Program::EndStep() {
    gate_.CloseForGood();
    StopFetches();
    if (auto hook = std::exchange(exitHook_, nullptr)) {
        hook();
    }
    settings_.endProcess(0);
}

void Program::FatalStop(const QString& message) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, message] { FatalStop(message); }, Qt::QueuedConnection);
        return;
    }
    if (stopping_) {
        return;
    }
    stopping_ = true;
    gate_.CloseForGood();
    StopFetches();
    exitHook_ = nullptr;
    try {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Kavuro"), message, QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    } catch (...) {
        // Even without its message the stop goes on to its end.
    }
    settings_.endProcess(-1);
}

bool RunGuarded(Program* program, const std::function<void()>& work) {
    const auto stop = [program](const QString& message) {
        if (program != nullptr) {
            program->FatalStop(message);
        } else {
            EndProcessAtOnce(-1);
        }
    };
    try {
        work();
        return true;
    } catch (const std::bad_alloc&) {
        stop(Program::kOutOfMemory);
    } catch (...) {
        stop(Program::kUnexpected);
    }
    return false;
}

int RunProgram(ProgramSettings settings, const std::function<void(Program&)>& started) {
    // Where Qt gives up (no display to open the window on, say) there is no box to show
    // either: the message goes to standard error and the end is the fatal stop's.
    qtDefaultHandler = qInstallMessageHandler(OnQtMessage);
    // The command line is not Kavuro's to read, so Qt gets none either.
    static int argc = 1;
    static char name[] = "kavuro";
    static char* argv[] = {name, nullptr};
    GuardedApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.kavuro"));
    QApplication::setFont(GuiFont());

    Program program(std::move(settings));
    application.program = &program;
    RunGuarded(&program, [&] { program.Start(); });
    if (program.window() != nullptr) {
        if (started) {
            started(program);
        }
        QApplication::exec();
    }
    program.EndStep();
    return 0;
}

}  // namespace kavuro
