// Kavuro filling its real window (offscreen) from the fixture server: the program as
// shipped, with the address prefix pointed at 127.0.0.1 and the fetch routine timed
// around. Prints one JSON object.
//
//   kavuro_window_bench --port P [--sizes N...]   the fill, per size
//   kavuro_window_bench --startup [--port P]      start-up and memory
//
// Fill: from the press of 按钮1 to the closing status text, as the fetch sets it and as
// the window shows it with every row, and the UI thread's longest gap between the ticks
// of a 1 ms timer meanwhile. Each size is then filled once more to see where the time
// goes: per window operation as the worker waits for it, and the UI thread's time by
// kind of event. For comparison, the same fetch into the tests' recording window (no Qt
// at all); and for the largest list, the user's "clear all" of it on the UI thread.
//
// Start-up: KAVURO_BENCH_SPAWN_NS, when set, is the CLOCK_MONOTONIC time at which the
// caller started this process; the figures run from there to main() and to the window
// shown and painted. Resident memory when idle after that and, given a port, after a
// list of 10,000 songs and after one of 100,000.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/program.h"
#include "playlist/playlist_fetch.h"
#include "playlist_fixture.h"
#include "support/loopback_http_server.h"
#include "support/recording_window.h"
#include "ui/qt_window_operations.h"
#include "ui/song_list.h"

namespace kavuro::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The 100,000-song fixture answer (about 50 MB) is larger than the body the program
// accepts; these benchmarks time the fill, so they read the whole of it.
PageReadLimits FillLimits() {
    PageReadLimits limits;
    limits.maxBodyBytes = 64u << 20;
    return limits;
}

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Resident memory of this process in kB, from /proc/self/status.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

std::string AddressPrefix(int port) {
    return "http://127.0.0.1:" + std::to_string(port) + std::string(kFixtureTarget);
}

// The time every window operation of one fetch took, as the worker waited for it.
class TimingWindow final : public WindowOperations {
public:
    struct Figure {
        long calls = 0;
        double ms = 0;
    };

    explicit TimingWindow(WindowOperations& window) : window_(window) {}

    void SetStatusText(std::int32_t part, const Text& text) override {
        Timed("SetStatusText", [&] { window_.SetStatusText(part, text); });
    }
    std::int32_t InsertRow() override {
        std::int32_t row = -1;
        Timed("InsertRow", [&] { row = window_.InsertRow(); });
        return row;
    }
    void SetCellText(std::int32_t row, std::int32_t column, const Text& text) override {
        Timed("SetCellText", [&] { window_.SetCellText(row, column, text); });
    }
    Text CellText(std::int32_t row, std::int32_t column) override {
        return window_.CellText(row, column);
    }
    void DeleteAllRows() override {
        Timed("DeleteAllRows", [&] { window_.DeleteAllRows(); });
    }
    std::int32_t RowCount() override { return window_.RowCount(); }
    std::int32_t SelectedRow() override { return window_.SelectedRow(); }
    void SetMenuItemEnabled(MenuItem item, bool enabled) override {
        window_.SetMenuItemEnabled(item, enabled);
    }
    void PopupMenu() override { window_.PopupMenu(); }
    Text EditBoxText() override {
        Text text;
        Timed("EditBoxText", [&] { text = window_.EditBoxText(); });
        return text;
    }
    void SetEditBoxText(const Text& text) override { window_.SetEditBoxText(text); }

    const std::map<std::string, Figure>& Figures() const { return figures_; }

private:
    template <typename Call>
    void Timed(const char* name, Call&& call) {
        const Clock::time_point start = Clock::now();
        call();
        Figure& figure = figures_[name];
        ++figure.calls;
        figure.ms += MsBetween(start, Clock::now());
    }

    WindowOperations& window_;
    std::map<std::string, Figure> figures_;
};

// What the program's workers run: the real fetch, timed around. When the fetch returns,
// its closing status has taken effect (each window operation is complete when it
// returns).
struct FetchWatch {
    std::mutex mutex;
    QEventLoop* loop = nullptr;  // quit once the fetch has ended
    Clock::time_point ended;
    bool timeOperations = false;
    std::map<std::string, TimingWindow::Figure> operations;
};
FetchWatch watch;

FetchOutcome TimedFetch(WindowOperations& window, SharedMatcher& matcher,
                        std::string_view addressPrefix, std::stop_token stop,
                        const PageReadLimits& limits) {
    bool timeOperations = false;
    {
        const std::lock_guard lock(watch.mutex);
        timeOperations = watch.timeOperations;
    }
    std::map<std::string, TimingWindow::Figure> operations;
    FetchOutcome outcome;
    if (timeOperations) {
        TimingWindow timing(window);
        outcome = PlaylistFetch(timing, matcher, addressPrefix, stop, limits);
        operations = timing.Figures();
    } else {
        outcome = PlaylistFetch(window, matcher, addressPrefix, stop, limits);
    }
    const Clock::time_point ended = Clock::now();
    const std::lock_guard lock(watch.mutex);
    watch.ended = ended;
    watch.operations = std::move(operations);
    if (watch.loop != nullptr) {
        QMetaObject::invokeMethod(watch.loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    return outcome;
}

// The UI thread's longest gap between the ticks of a 1 ms timer.
class StallWatch {
public:
    StallWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            longestMs_ = std::max(longestMs_, MsBetween(last_, now));
            last_ = now;
        });
    }
    void Start() {
        longestMs_ = 0;
        last_ = Clock::now();
        timer_.start();
    }
    // The longest gap, counting the one up to now.
    double Stop() {
        timer_.stop();
        return std::max(longestMs_, MsBetween(last_, Clock::now()));
    }

private:
    QTimer timer_;
    Clock::time_point last_;
    double longestMs_ = 0;
};

// The UI thread's time by kind of event, from the event filter of the application (which
// sees every event as it starts) and the dispatcher's going to sleep and waking. Events
// sent from inside another (a paint inside an update request) count with the outer one.
class EventAccount final : public QObject {
public:
    EventAccount() {
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { Switch("idle"); });
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
            ++wakeUps_;
            Switch("other");
        });
        qApp->installEventFilter(this);
    }
    ~EventAccount() override { qApp->removeEventFilter(this); }

    std::map<std::string, double> Stop() {
        Switch("other");
        return ms_;
    }
    long WakeUps() const { return wakeUps_; }
    long Count(const std::string& kind) const {
        const auto found = counts_.find(kind);
        return found == counts_.end() ? 0 : found->second;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MetaCall:
                Switch("other");
                break;
            case QEvent::UpdateRequest:
                Switch("painting");
                break;
            case QEvent::LayoutRequest:
                Switch("layout");
                break;
            case QEvent::Timer:
                // The window shows the store's changes from a timer, among others.
                Switch("timers");
                break;
            default:
                if (event->type() == StoreUi::WakeEvent()) {
                    Switch("store changes");
                }
                break;
        }
        return false;
    }

private:
    void Switch(const char* kind) {
        const Clock::time_point now = Clock::now();
        ms_[current_] += MsBetween(since_, now);
        ++counts_[kind];
        current_ = kind;
        since_ = now;
    }

    std::string current_ = "other";
    Clock::time_point since_ = Clock::now();
    std::map<std::string, double> ms_;
    std::map<std::string, long> counts_;
    long wakeUps_ = 0;
};

// A fill that takes longer than this is cut off (by a press for an answer that fails at
// once) and reported as over budget, so that a slow build cannot hold the run up.
constexpr int kBudgetMs = 20'000;
// Slower fills are not run a second time to be taken apart.
constexpr double kDiagnoseBelowMs = 5'000;

struct FillTimes {
    double doneMs = -1;   // press → the fetch's closing status set (the fetch returned)
    double shownMs = -1;  // press → the window showing it and every row
};

// What the window shows, as the user sees it: no catching up forced.
bool ShowsAll(Program& program, std::int32_t size) {
    MainWindow& window = *program.window();
    return window.list()->model()->rowCount() == size &&
           window.statusPart()->text().startsWith(QStringLiteral("QQ:"));
}

// Presses the button for size songs and waits for the fetch's end and for the window to
// show it; both times are -1 when the fill went over budget.
FillTimes PressAndWait(Program& program, std::int32_t size, int budgetMs = kBudgetMs) {
    MainWindow& window = *program.window();
    window.editBox()->setText(QString::number(size));
    window.statusPart()->clear();
    QEventLoop loop;
    {
        const std::lock_guard lock(watch.mutex);
        watch.loop = &loop;
    }
    QTimer budget;
    budget.setSingleShot(true);
    bool over = false;
    QObject::connect(&budget, &QTimer::timeout, [&] {
        over = true;
        window.editBox()->setText(QStringLiteral("0"));  // the server has no such list
        window.button()->click();
    });
    const Clock::time_point pressed = Clock::now();
    window.button()->click();
    budget.start(budgetMs);
    loop.exec();
    while (!over && !ShowsAll(program, size)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const Clock::time_point shown = Clock::now();
    budget.stop();
    {
        const std::lock_guard lock(watch.mutex);
        watch.loop = nullptr;
    }
    while (Program::RunningWorkers() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const std::lock_guard lock(watch.mutex);
    if (over) {
        return {};
    }
    return {MsBetween(pressed, watch.ended), MsBetween(pressed, shown)};
}

std::string ClosingStatus(Program& program) {
    program.window()->ShowStoreChanges();
    return program.window()->statusPart()->text().toStdString();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string Json(const std::map<std::string, double>& values) {
    std::string json = "{";
    for (const auto& [key, value] : values) {
        json.append(json.size() > 1 ? ", \"" : "\"")
            .append(key)
            .append("\": ")
            .append(std::to_string(value));
    }
    return json + "}";
}

void SettleFor(int ms) {
    QTest::qWait(ms);
}

// The fill once more, to see where the time goes: the worker's wait per kind of window
// operation and the UI thread's time per kind of event.
std::string Diagnosis(Program& program, std::int32_t size) {
    {
        const std::lock_guard lock(watch.mutex);
        watch.timeOperations = true;
    }
    std::map<std::string, double> uiMs;
    std::map<std::string, double> counts;
    double ms = 0;
    {
        EventAccount account;
        ms = PressAndWait(program, size).doneMs;
        uiMs = account.Stop();
        counts["wake_ups"] = static_cast<double>(account.WakeUps());
        counts["paints"] = static_cast<double>(account.Count("painting"));
        counts["layouts"] = static_cast<double>(account.Count("layout"));
        counts["timers"] = static_cast<double>(account.Count("timers"));
    }
    std::map<std::string, double> operationsMs;
    std::map<std::string, double> operationsCalls;
    {
        const std::lock_guard lock(watch.mutex);
        watch.timeOperations = false;
        for (const auto& [name, figure] : watch.operations) {
            operationsMs[name] = figure.ms;
            operationsCalls[name] = static_cast<double>(figure.calls);
        }
    }
    SettleFor(20);
    return "\"diagnosed_ms\": " + std::to_string(ms) + ", \"ui_ms\": " + Json(uiMs) +
           ", \"ui_counts\": " + Json(counts) + ", \"operations_ms\": " + Json(operationsMs) +
           ", \"operations_calls\": " + Json(operationsCalls);
}

// The same fetch into the tests' recording window (no Qt).
std::string Comparisons(Program& program, std::int32_t size, int port) {
    test::RecordingWindow recording(std::to_string(size));
    const Clock::time_point start = Clock::now();
    PlaylistFetch(recording, program.matcher(), AddressPrefix(port), {}, FillLimits());
    return "\"recording_window_ms\": " + std::to_string(MsBetween(start, Clock::now()));
}

// The user's "clear all" of the list as it stands, on the UI thread: the command and the
// window showing the empty list.
double ClearAllMs(Program& program) {
    QtWindowOperations operations(program.window());
    const Clock::time_point start = Clock::now();
    operations.DeleteAllRows();
    program.window()->ShowStoreChanges();
    QCoreApplication::processEvents();  // the layout and the paint that follow
    return MsBetween(start, Clock::now());
}

// Runs until two seconds have gone or seven runs, whichever comes first; one run only for
// a fill that takes seconds.
std::string Fill(Program& program, std::int32_t size, bool& overBudget, double& medianMs) {
    std::vector<double> pressToDone;
    std::vector<double> pressToShown;
    double longestStallMs = 0;
    double totalMs = 0;
    StallWatch stallWatch;
    while (pressToDone.size() < 7 && totalMs < 2'000) {
        stallWatch.Start();
        const FillTimes times = PressAndWait(program, size);
        const double stallMs = stallWatch.Stop();
        SettleFor(20);
        if (times.doneMs < 0) {
            overBudget = true;
            return "\"over_budget_ms\": " + std::to_string(kBudgetMs);
        }
        pressToDone.push_back(times.doneMs);
        pressToShown.push_back(times.shownMs);
        longestStallMs = std::max(longestStallMs, stallMs);
        totalMs += times.shownMs;
    }
    const std::string expected = "QQ:" + std::to_string(size);
    const int rows = program.window()->list()->model()->rowCount();
    if (ClosingStatus(program).rfind(expected, 0) != 0 || rows != size) {
        std::fprintf(stderr, "window bench: the fill of %d songs ended with \"%s\" and %d rows\n",
                     size, ClosingStatus(program).c_str(), rows);
        std::exit(1);
    }
    medianMs = Median(pressToShown);
    return "\"press_to_done_ms\": " + std::to_string(Median(pressToDone)) +
           ", \"press_to_shown_ms\": " + std::to_string(medianMs) +
           ", \"runs\": " + std::to_string(pressToDone.size()) +
           ", \"longest_stall_ms\": " + std::to_string(longestStallMs);
}

std::string FillReport(Program& program, const std::vector<std::int32_t>& sizes, int port) {
    std::string report = "{";
    bool overBudget = false;
    for (const std::int32_t size : sizes) {
        std::string figures;
        if (overBudget) {
            figures = "\"skipped\": true";  // a smaller list went over budget already
        } else {
            std::fprintf(stderr, "window bench: %d songs\n", size);
            double medianMs = 0;
            figures = Fill(program, size, overBudget, medianMs);
            if (!overBudget && medianMs < kDiagnoseBelowMs) {
                figures += ", " + Diagnosis(program, size);
            }
            figures += ", " + Comparisons(program, size, port);
            if (!overBudget && size == sizes.back()) {
                PressAndWait(program, size);
                figures += ", \"clear_all_ms\": " + std::to_string(ClearAllMs(program));
            }
        }
        report.append(report.size() > 1 ? ",\n \"" : "\n \"")
            .append(std::to_string(size))
            .append("\": {")
            .append(figures)
            .append("}");
    }
    return report + "\n}";
}

std::string StartupReport(Program& program, std::int64_t mainNs, std::int64_t shownNs, int port) {
    const char* spawned = std::getenv("KAVURO_BENCH_SPAWN_NS");
    const std::int64_t spawnNs = spawned != nullptr ? std::atoll(spawned) : mainNs;
    SettleFor(500);
    const long idleKb = ResidentKb();
    long after10000Kb = -1;
    long after100000Kb = -1;
    if (port > 0 && PressAndWait(program, 10'000, 3 * kBudgetMs).doneMs >= 0) {
        SettleFor(200);
        after10000Kb = ResidentKb();
        if (PressAndWait(program, 100'000, 3 * kBudgetMs).doneMs >= 0) {
            SettleFor(200);
            after100000Kb = ResidentKb();
        }
    }
    char report[320];
    std::snprintf(report, sizeof report,
                  "{\"to_main_ms\": %.4f, \"to_shown_ms\": %.4f, \"idle_resident_kb\": %ld, "
                  "\"resident_after_10000_kb\": %ld, \"resident_after_100000_kb\": %ld}",
                  (mainNs - spawnNs) / 1e6, (shownNs - spawnNs) / 1e6, idleKb, after10000Kb,
                  after100000Kb);
    return report;
}

// Waits for the window's first paint to be done and the UI thread to have nothing left
// to do; the time then.
class FirstPaint final : public QObject {
public:
    explicit FirstPaint(QWidget* window) {
        window->installEventFilter(this);
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                [this] {
                    if (painted_ && shownNs_ == 0) {
                        shownNs_ = NowNs();
                    }
                });
    }
    std::int64_t ShownNs() {
        while (shownNs_ == 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return shownNs_;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        painted_ = painted_ || event->type() == QEvent::Paint;
        return false;
    }

private:
    bool painted_ = false;
    std::int64_t shownNs_ = 0;
};

}  // namespace
}  // namespace kavuro::bench

int main(int argc, char** argv) {
    using namespace kavuro;
    using namespace kavuro::bench;
    const std::int64_t mainNs = NowNs();
    int port = 0;
    bool startup = false;
    std::vector<std::int32_t> sizes(std::begin(kSongCounts), std::end(kSongCounts));
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--port" && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (argument == "--startup") {
            startup = true;
        } else if (argument == "--sizes") {
            sizes.clear();
            while (i + 1 < argc && argv[i + 1][0] != '-') {
                sizes.push_back(std::atoi(argv[++i]));
            }
        } else {
            std::fprintf(stderr, "usage: %s --port P [--sizes N...] | --startup [--port P]\n",
                         argv[0]);
            return 2;
        }
    }
    if (!startup && port == 0) {
        std::fprintf(stderr, "window bench: the fill needs --port\n");
        return 2;
    }
    test::KeepProxiesAway();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);  // a display only when asked for

    ProgramSettings settings;
    settings.addressPrefix = AddressPrefix(port);
    settings.fetch = TimedFetch;
    settings.limits = FillLimits();
    std::unique_ptr<FirstPaint> firstPaint;
    return RunProgram(settings, [&](Program& program) {
        firstPaint = std::make_unique<FirstPaint>(program.window());
        QTimer::singleShot(0, &program, [&] {
            const std::int64_t shownNs = firstPaint->ShownNs();
            const std::string report = startup ? StartupReport(program, mainNs, shownNs, port)
                                               : FillReport(program, sizes, port);
            std::printf("%s\n", report.c_str());
            program.window()->close();
        });
    });
}
