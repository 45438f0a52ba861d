// The soak: many fetches of one 500-song answer in one process, first into the tests'
// recording window, then through the program as shipped into its real window
// (offscreen), one press at a time. Built under AddressSanitizer (make soak), so a leak
// fails the run at exit. Prints resident memory after the 100th and the last fetch of
// each part; resident memory over the last 900 fetches of a part must grow less than 5 %.
//
//   kavuro_soak [--fetches N] [--songs N]
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "app/program.h"
#include "playlist/playlist_fetch.h"
#include "playlist_fixture.h"
#include "support/loopback_http_server.h"
#include "support/recording_window.h"

namespace kavuro::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Memory is compared from here on, once allocator caches and the like have settled.
constexpr int kWarmFetches = 100;
constexpr double kMaxGrowthPercent = 5.0;

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

struct Part {
    const char* name;
    long warmKb = 0;
    long lastKb = 0;
    int wrong = 0;  // fetches that did not list every song
    double seconds = 0;

    double GrowthPercent() const { return 100.0 * (lastKb - warmKb) / warmKb; }
    bool Passed() const { return wrong == 0 && warmKb > 0 && GrowthPercent() < kMaxGrowthPercent; }
    void Print(int fetches) const {
        std::printf(
            "%-16s RSS at fetch %d: %ld kB, at fetch %d: %ld kB, growth %+.2f %%, "
            "%d wrong, %.1f s\n",
            name, kWarmFetches, warmKb, fetches, lastKb, GrowthPercent(), wrong, seconds);
    }
};

// One fetch done: counts it and notes memory every hundred fetches.
void Done(Part& part, int fetch, int fetches, const FetchOutcome& outcome, int songs) {
    if (outcome.kind != FetchOutcome::Kind::Listed || outcome.songs != songs) {
        ++part.wrong;
    }
    if (fetch % kWarmFetches == 0 || fetch == fetches) {
        const long kb = ResidentKb();
        part.warmKb = fetch == kWarmFetches ? kb : part.warmKb;
        part.lastKb = fetch == fetches ? kb : part.lastKb;
        std::printf("  %s, fetch %d: %ld kB\n", part.name, fetch, kb);
    }
}

Part RecordingWindowPart(test::LoopbackHttpServer& server, const std::string& prefix, int fetches,
                         int songs) {
    Part part{"recording window"};
    const Clock::time_point start = Clock::now();
    SharedMatcher matcher;
    for (int fetch = 1; fetch <= fetches; ++fetch) {
        test::RecordingWindow window;
        Done(part, fetch, fetches, PlaylistFetch(window, matcher, prefix), songs);
        server.TakeRequests();
    }
    part.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return part;
}

// What the program's workers run: the real fetch, then word to the UI thread that it has
// ended (its closing status has taken effect by then).
struct FetchWatch {
    std::mutex mutex;
    QEventLoop* loop = nullptr;
    FetchOutcome outcome;
};
FetchWatch watch;

FetchOutcome WatchedFetch(WindowOperations& window, SharedMatcher& matcher,
                          std::string_view addressPrefix, std::stop_token stop,
                          const PageReadLimits& limits) {
    FetchOutcome outcome = PlaylistFetch(window, matcher, addressPrefix, stop, limits);
    const std::lock_guard lock(watch.mutex);
    watch.outcome = outcome;
    if (watch.loop != nullptr) {
        QMetaObject::invokeMethod(watch.loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    return outcome;
}

// Presses the button and waits on the UI thread until the worker has ended.
FetchOutcome PressAndWait(Program& program) {
    QEventLoop loop;
    {
        const std::lock_guard lock(watch.mutex);
        watch.loop = &loop;
        watch.outcome = {};
    }
    program.window()->button()->click();
    loop.exec();
    while (Program::RunningWorkers() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const std::lock_guard lock(watch.mutex);
    watch.loop = nullptr;
    return watch.outcome;
}

}  // namespace
}  // namespace kavuro::bench

int main(int argc, char** argv) {
    using namespace kavuro;
    using namespace kavuro::bench;
    int fetches = 1000;
    int songs = 500;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--fetches") {
            fetches = std::atoi(argv[i + 1]);
        } else if (option == "--songs") {
            songs = std::atoi(argv[i + 1]);
        }
    }
    if (fetches <= kWarmFetches || songs <= 0 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: %s [--fetches N (over %d)] [--songs N]\n", argv[0],
                     kWarmFetches);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each part's figures as soon as they are in

    test::ScriptedAnswer answer;
    answer.body = FixtureAnswer(songs);
    test::LoopbackHttpServer server(answer);
    const std::string prefix = server.Address(std::string(kFixtureTarget));
    std::printf("soak: %d fetches of a %d-song answer (%zu bytes) per part\n", fetches, songs,
                answer.body.size());

    const Part recording = RecordingWindowPart(server, prefix, fetches, songs);
    recording.Print(fetches);

    Part real{"real window"};
    ProgramSettings settings;
    settings.addressPrefix = prefix;
    settings.fetch = WatchedFetch;
    settings.endProcess = [](int) {};  // main() returns, so the leak check runs
    RunProgram(settings, [&](Program& program) {
        QTimer::singleShot(0, &program, [&] {
            const Clock::time_point start = Clock::now();
            for (int fetch = 1; fetch <= fetches; ++fetch) {
                Done(real, fetch, fetches, PressAndWait(program), songs);
                server.TakeRequests();
            }
            real.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            program.window()->close();
        });
    });
    real.Print(fetches);

    const bool passed = recording.Passed() && real.Passed();
    std::printf("soak: %s (leaks are checked as the process ends)\n", passed ? "passed" : "FAILED");
    return passed ? 0 : 1;
}
