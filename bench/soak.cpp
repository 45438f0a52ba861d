// The soak: many fetches of one 500-song answer in one process, first into the tests'
// recording window, then through the program as shipped into its real window
// (offscreen), one press at a time. make soak runs it twice: built under
// AddressSanitizer, where a leak fails the run at exit and the heap the program holds
// must grow less than 5 % from the 100th fetch to the last; and uninstrumented, where
// resident memory must.
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

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
extern "C" std::size_t __sanitizer_get_heap_size();
#endif

// Memory figures at one moment, in kB. Under ASan resident memory also holds the
// sanitizer's own bookkeeping (its quarantine, its record of allocation stacks), which
// grows with every thread and allocation whatever the program does; there the program's
// growth is judged by the heap it holds, and resident memory by the uninstrumented build.
struct Memory {
    long residentKb = -1;
    long heapInUseKb = -1;  // ASan builds only
    long heapMappedKb = -1;

    static Memory Now() {
        Memory memory;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0) {
                memory.residentKb = std::strtol(line.c_str() + 6, nullptr, 10);
            }
        }
#if defined(__SANITIZE_ADDRESS__)
        memory.heapInUseKb = static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
        memory.heapMappedKb = static_cast<long>(__sanitizer_get_heap_size() / 1024);
#endif
        return memory;
    }
    // The figure a soak is judged by in this build.
    long Judged() const {
        return heapInUseKb >= 0 ? heapInUseKb : residentKb;
    }
    static const char* JudgedName() {
#if defined(__SANITIZE_ADDRESS__)
        return "heap in use";
#else
        return "RSS";
#endif
    }

    std::string Text() const {
        std::string text = "RSS " + std::to_string(residentKb) + " kB";
        if (heapInUseKb >= 0) {
            text += ", heap in use " + std::to_string(heapInUseKb) + " kB of " +
                    std::to_string(heapMappedKb) + " kB mapped";
        }
        return text;
    }
};

struct Part {
    const char* name;
    Memory warm{};
    Memory last{};
    int wrong = 0;  // fetches that did not list every song
    double seconds = 0;

    static double Growth(long from, long to) { return from > 0 ? 100.0 * (to - from) / from : 0; }
    double GrowthPercent() const { return Growth(warm.Judged(), last.Judged()); }
    bool Passed() const {
        return wrong == 0 && warm.Judged() > 0 && GrowthPercent() < kMaxGrowthPercent;
    }
    void Print(int fetches) const {
        std::printf("%-16s fetch %d: %s\n%-16s fetch %d: %s\n", name, kWarmFetches,
                    warm.Text().c_str(), "", fetches, last.Text().c_str());
        std::printf("%-16s RSS growth %+.2f %%", "", Growth(warm.residentKb, last.residentKb));
        if (warm.heapInUseKb >= 0) {
            std::printf(", heap in use growth %+.2f %%",
                        Growth(warm.heapInUseKb, last.heapInUseKb));
        }
        std::printf(" (judged: %s), %d wrong, %.1f s, %s\n", Memory::JudgedName(), wrong, seconds,
                    Passed() ? "passed" : "FAILED");
    }
};

// One fetch done: counts it and notes memory every hundred fetches.
void Done(Part& part, int fetch, int fetches, const FetchOutcome& outcome, int songs) {
    if (outcome.kind != FetchOutcome::Kind::Listed || outcome.songs != songs) {
        ++part.wrong;
    }
    if (fetch % kWarmFetches == 0 || fetch == fetches) {
        const Memory memory = Memory::Now();
        part.warm = fetch == kWarmFetches ? memory : part.warm;
        part.last = fetch == fetches ? memory : part.last;
        std::printf("  %s, fetch %d: %s\n", part.name, fetch, memory.Text().c_str());
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
