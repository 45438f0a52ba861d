// kavuro-list: the window's fetch for scripts and batches. Each QQ number is fetched as
// the window would fetch it, into a window without a screen; the rows go to standard
// output or a file, the closing status texts to standard error.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "build_settings.h"
#include "cli/collecting_window.h"
#include "cli/command_line.h"
#include "export/atomic_file.h"
#include "export/list_writer.h"
#include "playlist/playlist_address.h"
#include "playlist/playlist_fetch.h"
#include "text/gbk.h"

namespace kavuro::cli {
namespace {

constexpr int kAllListed = 0;
constexpr int kSomeFailed = 1;
constexpr int kUsageOrOutput = 2;

int Complain(const std::string& message) {
    std::fprintf(stderr, "kavuro-list: %s\n", message.c_str());
    return kUsageOrOutput;
}

// SIGINT and SIGTERM, taken by a thread of their own: the first one asks the running
// fetch to stop, which aborts its page read at once. Blocked in every other thread, so
// no system call is cut short and curl never sees them.
class SignalWatch {
public:
    explicit SignalWatch(std::stop_source stop) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        watcher_ = std::thread([this, stop]() mutable {
            const timespec poll{0, 100'000'000};
            while (!done_) {
                const int signal = sigtimedwait(&signals_, nullptr, &poll);
                if (signal > 0) {
                    caught_ = signal;
                    stop.request_stop();
                    return;
                }
            }
        });
    }
    ~SignalWatch() {
        done_ = true;
        watcher_.join();
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // The signal that came, or 0.
    int Caught() const { return caught_; }

private:
    sigset_t signals_{};
    std::atomic<bool> done_{false};
    std::atomic<int> caught_{0};
    std::thread watcher_;
};

// One number a line; line ends of either kind and blank lines are dropped, and so are
// spaces and tabs around a number.
std::vector<std::string> NumbersFromStandardInput() {
    std::vector<std::string> numbers;
    std::string line;
    while (std::getline(std::cin, line)) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) {
            continue;
        }
        const std::size_t last = line.find_last_not_of(" \t\r");
        numbers.push_back(line.substr(first, last - first + 1));
    }
    return numbers;
}

bool WriteStandardOutput(const std::string& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
           std::fflush(stdout) == 0;
}

int Run(int argc, char** argv) {
    const ParsedCommandLine parsed = ParseCommandLine(argc, argv);
    if (!parsed.error.empty()) {
        return Complain(parsed.error + " (see kavuro-list --help)");
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kAllListed;
    }
    if (options.version) {
        std::printf("kavuro-list %s\n", std::string(build_settings::kVersion).c_str());
        return kAllListed;
    }
    if (!GbkCodePageAvailable()) {
        return Complain("the system's iconv has no CP936 (GBK): Chinese names cannot be read");
    }
    // Read before the signals are taken over: Ctrl+C while a terminal is being typed into
    // still ends the program at once, and nothing has been written yet.
    const std::vector<std::string> numbers =
        options.numbers.empty() ? NumbersFromStandardInput() : options.numbers;
    if (numbers.empty()) {
        return Complain("no QQ number given (see kavuro-list --help)");
    }

    std::stop_source stop;
    const SignalWatch signals(stop);
    AtomicFile output;
    if (!options.outputPath.empty()) {
        if (const std::error_code error = output.Open(options.outputPath)) {
            return Complain("cannot write " + options.outputPath + ": " + error.message());
        }
    }

    SharedMatcher matcher;
    const std::string addressPrefix = PlaylistAddressPrefix(options.host);
    ListToWrite list;
    bool anyFailed = false;
    for (std::size_t i = 0; i < numbers.size() && !stop.stop_requested(); ++i) {
        const Text number = Utf8ToGbk(numbers[i]);
        CollectingWindow window(number);
        const FetchOutcome outcome =
            PlaylistFetch(window, matcher, addressPrefix, stop.get_token());
        if (outcome.kind == FetchOutcome::Kind::Cancelled) {
            break;
        }
        const bool listed = outcome.kind == FetchOutcome::Kind::Listed;
        anyFailed = anyFailed || !listed;
        // Appended piece by piece: GCC 12 at -O3 takes "literal" + a temporary string for
        // an overlapping copy (-Wrestrict).
        std::string progress;
        if (numbers.size() > 1) {
            progress.append("[").append(std::to_string(i + 1)).append("/");
            progress.append(std::to_string(numbers.size())).append("] ");
        }
        // The window's text, and for a failure the reader's own words, which the window
        // has no room for.
        std::string reason;
        if (!listed && !outcome.reason.empty()) {
            reason.append(" (").append(outcome.reason).append(")");
        }
        std::fprintf(stderr, "%s%s%s\n", progress.c_str(), GbkToUtf8(window.StatusText()).c_str(),
                     reason.c_str());
        for (const CollectingWindow::Row& row : window.Rows()) {
            list.rows.push_back({row[0], row[1], number});
        }
        list.numbers.push_back({number, window.StatusText(), listed});
    }
    if (stop.stop_requested()) {
        output.Abandon();
        std::fputs("kavuro-list: interrupted, nothing written\n", stderr);
        return 128 + (signals.Caught() != 0 ? signals.Caught() : SIGINT);
    }

    const std::string bytes = WriteList(list, ChosenFormat(options));
    if (options.outputPath.empty()) {
        if (!WriteStandardOutput(bytes)) {
            return Complain("cannot write standard output");
        }
    } else if (std::error_code error = output.Write(bytes); error || (error = output.Commit())) {
        return Complain("cannot write " + options.outputPath + ": " + error.message());
    }
    return anyFailed ? kSomeFailed : kAllListed;
}

}  // namespace
}  // namespace kavuro::cli

int main(int argc, char** argv) {
    return kavuro::cli::Run(argc, argv);
}
