// The whole fetch over any answer: the loopback server plays the fuzzer's bytes as the
// reply (redirects included, to itself), the fetch fills a recording window, and the
// window ends in one of the states a fetch promises. The edit box text comes from the
// input too, and never reaches the request line unescaped.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "loopback_guard.h"
#include "playlist/fetch_texts.h"
#include "playlist/http_read_page.h"
#include "playlist/playlist_fetch.h"
#include "support/loopback_http_server.h"
#include "support/recording_window.h"
#include "text/text.h"

namespace {

using namespace kavuro;
namespace texts = fetch_texts;

constexpr std::string_view kPath = "/fcg-bin/cgi_playlist_xml.fcg";
// The fewest bytes a song's record can take: the pattern's literal text.
constexpr std::size_t kRecordBytes = 120;

test::LoopbackHttpServer* server = nullptr;

PageReadLimits Limits(std::uint8_t choice) {
    PageReadLimits limits;
    limits.connectTimeout = std::chrono::seconds(2);
    limits.stallTime = std::chrono::seconds(5);
    limits.totalTime = std::chrono::seconds(10);
    // Now and then a small body cap, so that the cut at the cap is fuzzed too.
    constexpr std::size_t kCaps[] = {32u << 20, 64, 1024, 16384};
    limits.maxBodyBytes = kCaps[choice % 4];
    return limits;
}

bool HasNoCase(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
               const auto fold = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return fold(a) == fold(b);
           }) != text.end();
}

// The first request asks for the path with the box text escaped: nothing but unreserved
// bytes and %XX after "uin=", so that no pasted text can add a field or a line.
void CheckFirstRequest(const std::string& head) {
    const std::string start = "GET " + std::string(kPath) + "?uin=";
    FUZZ_CHECK(head.starts_with(start));
    const std::size_t end = head.find(" HTTP/1.0\r\n", start.size());
    FUZZ_CHECK(end != std::string::npos);
    const std::string_view number = std::string_view(head).substr(start.size(), end - start.size());
    for (std::size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        const bool escape = c == '%' && i + 2 < number.size() &&
                            std::isxdigit(static_cast<unsigned char>(number[i + 1])) != 0 &&
                            std::isxdigit(static_cast<unsigned char>(number[i + 2])) != 0;
        FUZZ_CHECK(unreserved || escape);
        if (escape) {
            i += 2;
        }
    }
}

void CheckListed(const test::RecordingWindow& window, const FetchOutcome& outcome,
                 const std::string& boxText, const std::string& reply) {
    const std::vector<Text> history = window.StatusHistory();
    const std::vector<test::RecordingWindow::Row> rows = window.Rows();
    const std::vector<std::string> calls = window.Calls();
    if (std::find(calls.begin(), calls.end(), "DeleteAllRows") == calls.end()) {
        // An empty answer (or one that starts with a zero byte) leaves the list alone.
        FUZZ_CHECK(outcome.songs == 0 && rows.size() == 1 && rows[0][0] == "kept");
        FUZZ_CHECK(history.size() == 2);
    } else {
        FUZZ_CHECK(rows.size() == static_cast<std::size_t>(outcome.songs));
        FUZZ_CHECK(history.size() == rows.size() + 2);
    }
    FUZZ_CHECK(outcome.songs >= 0);
    FUZZ_CHECK(history.back() ==
               ConcatTexts(texts::kQQ, boxText, texts::kDoneTotal, IntegerToText(outcome.songs)));
    FUZZ_CHECK(static_cast<std::size_t>(outcome.songs) * kRecordBytes <= reply.size());
    // A chunked body is pieced together by the reader, so its values need not stand
    // whole in the reply.
    const bool whole = !HasNoCase(reply, "chunked");
    for (std::size_t row = 0; row < static_cast<std::size_t>(outcome.songs); ++row) {
        const Text& address = rows[row][1];
        FUZZ_CHECK(address.find('\n') == Text::npos && address.find('\0') == Text::npos);
        FUZZ_CHECK(history[row + 1].ends_with(ConcatTexts(texts::kAddressLabel, address)));
        FUZZ_CHECK(!whole || reply.find(address) != std::string::npos);
        FUZZ_CHECK(rows[row][0].find(texts::kRowNameSingerSeparator) != Text::npos);
    }
}

void CheckFailed(const test::RecordingWindow& window, const FetchOutcome& outcome,
                 const std::string& boxText) {
    const std::vector<Text> history = window.StatusHistory();
    FUZZ_CHECK(history.size() == 2);
    const Text cannotConnect = ConcatTexts(texts::kQQ, boxText, texts::kCannotConnect);
    const Text serverSaid = ConcatTexts(texts::kQQ, boxText, texts::kServerReturned);
    const Text incomplete = ConcatTexts(texts::kQQ, boxText, texts::kIncomplete);
    const Text unrecognised = ConcatTexts(texts::kQQ, boxText, texts::kUnrecognised);
    FUZZ_CHECK(history[1] == cannotConnect || history[1].starts_with(serverSaid) ||
               history[1] == incomplete || history[1] == unrecognised);
    FUZZ_CHECK(!outcome.reason.empty());
    const std::vector<std::string> calls = window.Calls();
    FUZZ_CHECK(std::find(calls.begin(), calls.end(), "DeleteAllRows") == calls.end());
    FUZZ_CHECK(window.Rows().size() == 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The guard is in force: a connection elsewhere and a name are refused. The first
    // probe is to 0.0.0.0, which stays on this machine even without the guard; once it
    // is refused the guard (connect and getaddrinfo together) is known to be linked in,
    // and the name is safe to try.
    const std::size_t connections = fuzz::RefusedConnections();
    const std::size_t lookups = fuzz::RefusedLookups();
    FUZZ_CHECK(!HttpReadPage("http://0.0.0.0:9/").answered);
    FUZZ_CHECK(fuzz::RefusedConnections() > connections);
    FUZZ_CHECK(!HttpReadPage("http://kavuro.invalid/").answered);
    FUZZ_CHECK(fuzz::RefusedLookups() > lookups);

    static test::LoopbackHttpServer loopback;
    server = &loopback;
    fuzz::AllowLoopbackPort(server->Port());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t boxSize = std::min<std::size_t>(data[0] % 16, size - 2);
    const Text boxText = BytesToText(std::string(reinterpret_cast<const char*>(data) + 2, boxSize));
    const std::string reply(reinterpret_cast<const char*>(data) + 2 + boxSize, size - 2 - boxSize);

    test::ScriptedAnswer answer;
    answer.raw = reply;
    server->SetAnswer(std::string(kPath), answer);

    test::RecordingWindow window(boxText);
    window.SetRows({{"kept", "row"}});
    SharedMatcher matcher;
    const std::string prefix = server->Address(std::string(kPath) + "?uin=");
    const FetchOutcome outcome = PlaylistFetch(window, matcher, prefix, {}, Limits(data[1]));

    // The server's side of every connection ends here too, so that nothing of this
    // input is still running (or allocating) when the next begins or the leak check looks.
    FUZZ_CHECK(server->WaitUntilIdle(std::chrono::seconds(10)));
    const std::vector<std::string> requests = server->TakeRequests();
    FUZZ_CHECK(!requests.empty());
    CheckFirstRequest(requests.front());
    FUZZ_CHECK(window.StatusHistory().front() == texts::kFetching);
    switch (outcome.kind) {
        case FetchOutcome::Kind::Listed:
            CheckListed(window, outcome, boxText, reply);
            break;
        case FetchOutcome::Kind::Failed:
            CheckFailed(window, outcome, boxText);
            break;
        case FetchOutcome::Kind::Cancelled:
            FUZZ_CHECK(!"a fetch nobody stopped was cancelled");
    }
    return 0;
}
